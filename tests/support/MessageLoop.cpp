#include "support/MessageLoop.h"

namespace testsupport
{
bool runUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounterHiRes() + timeoutMs;
    auto* mm = juce::MessageManager::getInstance();
    while (! condition())
    {
        if (juce::Time::getMillisecondCounterHiRes() >= end)
            return condition();
        mm->runDispatchLoopUntil (2);
    }
    return true;
}

void runFor (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}
} // namespace testsupport
