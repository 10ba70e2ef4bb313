#include "support/MessageLoop.h"

namespace juce
{
// JUCE's own step of the message loop (declared by JUCE's sources, not its headers):
// dispatches one event, waiting for it when none is pending.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace testsupport
{
namespace
{
// Wakes the message loop every millisecond, so a condition is checked at least that
// often even when no event comes.
struct Tick final : juce::Timer
{
    Tick() { startTimer (1); }
    ~Tick() override { stopTimer(); }
    void timerCallback() override {}
};
} // namespace

// Waits in the loop like the program's own message loop does: an event (a device report,
// a message) is handled as soon as it arrives, not at the next 1 ms sleep of
// runDispatchLoopUntil.
bool runUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounterHiRes() + timeoutMs;
    const Tick tick;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounterHiRes() >= end)
            return condition();
        juce::dispatchNextMessageOnSystemQueue (false);
    }
    return true;
}

void runFor (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}
} // namespace testsupport
