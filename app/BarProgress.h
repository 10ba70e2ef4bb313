#pragma once

#include <juce_events/juce_events.h>

#include <atomic>

// The progress bar reads a plain double on the message thread while the worker writes the
// progress; this keeps the bar's own copy, refreshed on the message thread at every redraw
// and, while following, every 20 ms.
class BarProgress : private juce::Timer
{
public:
    explicit BarProgress (const std::atomic<double>& source) : m_source (source) {}
    ~BarProgress() override { stopTimer(); }

    double& value() noexcept { return m_value; }
    void refresh() noexcept { m_value = m_source.load(); }
    void follow (bool shouldFollow)
    {
        if (shouldFollow && ! isTimerRunning())
            startTimer (refreshIntervalMs);
        else if (! shouldFollow)
            stopTimer();
    }

private:
    static constexpr int refreshIntervalMs = 20;
    void timerCallback() override { refresh(); }

    const std::atomic<double>& m_source;
    double m_value = 0.0;
};
