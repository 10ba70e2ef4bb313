#pragma once

#include <juce_core/juce_core.h>

#include <functional>

// A local channel that lets a second start of the program tell the running one.
// JUCE's single-instance lock makes a second start exit on Linux, but its message to the
// running instance goes nowhere there; this Unix socket carries it instead.
class InstanceChannel
{
public:
    // Listens for later starts; onAnotherInstance runs on the message thread.
    InstanceChannel (const juce::String& appName, std::function<void()> onAnotherInstance);
    ~InstanceChannel();

    // Called by a second start: tells the running instance, if one listens.
    static bool notifyRunningInstance (const juce::String& appName);

    // The socket path for an application name.
    static juce::String socketPath (const juce::String& appName);

private:
    void acceptConnection();

    std::function<void()> m_onAnotherInstance;
    juce::String m_path;
    int m_fd = -1;

    JUCE_DECLARE_NON_COPYABLE (InstanceChannel)
};
