#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace testsupport
{
// Runs the message loop until condition() holds or timeoutMs passes; returns condition().
bool runUntil (const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs the message loop for about ms milliseconds.
void runFor (int ms);
} // namespace testsupport
