#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport
{
// A program started by a test, with its own environment additions; killed if still
// running when the object goes.
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess (const ChildProcess&) = delete;
    ChildProcess& operator= (const ChildProcess&) = delete;

    // Starts path with args; env entries are added to (or replace) the test's environment.
    // Standard output goes to outputFile when one is given, and standard error with it, or
    // to errorFile when that is given too.
    bool start (const std::string& path, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env = {}, const std::string& outputFile = {},
                const std::string& errorFile = {});

    long pid() const { return m_pid; }
    bool isRunning();
    // The exit code once the program ended within timeoutMs (128 + signal for a signal).
    std::optional<int> waitForExit (int timeoutMs);
    void kill (int signal);

private:
    long m_pid = -1;
    std::optional<int> m_exitCode;
};

// Runs a program to its end and returns its exit code and its standard output and error.
struct RunResult
{
    int exitCode = -1;
    std::string output;
};
RunResult runProgram (const std::string& path, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {}, int timeoutMs = 30000);
} // namespace testsupport
