#pragma once

#include "support/ChildProcess.h"

#include <juce_core/juce_core.h>

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport
{
// One nubla-devsim process serving in a folder. It always logs the reports it receives
// (log()) and prints its summary into summaryFile(); stop() ends it with SIGTERM.
class DevSim
{
public:
    DevSim() = default;
    ~DevSim();
    DevSim (const DevSim&) = delete;
    DevSim& operator= (const DevSim&) = delete;

    // Starts nubla-devsim --dir folder --log ... plus args; false if it could not start.
    bool start (const juce::File& folder, const std::vector<std::string>& args);
    // Sends SIGTERM and waits; returns the exit status, or -1 when it did not exit normally.
    int stop();
    // Waits up to timeoutMs for the process to end by itself; returns its exit status or -1.
    int waitForExit (int timeoutMs);
    bool running() const { return m_running; }

    juce::File socketFile() const { return m_folder.getChildFile ("dev0.sock"); }
    juce::File logFile() const { return m_folder.getChildFile ("devsim.log"); }
    juce::File summaryFile() const { return m_folder.getChildFile ("devsim.out"); }
    juce::File errorFile() const { return m_folder.getChildFile ("devsim.err"); }

    // The received reports, one hex line each (after stop()).
    std::vector<std::string> log() const;
    // The summary's key=value lines (after stop()).
    std::map<std::string, std::string> summary() const;

private:
    juce::File m_folder;
    ChildProcess m_process;
    bool m_running = false;
};

// Runs nubla-devsim with args to its end (for option errors); returns its exit status and
// its standard error text.
int runDevSim (const std::vector<std::string>& args, std::string* errorText = nullptr, int timeoutMs = 5000);

// The hex log line of a report: "F1 08 00 ..." over all its bytes.
std::string hexLine (const std::vector<uint8_t>& bytes);
} // namespace testsupport
