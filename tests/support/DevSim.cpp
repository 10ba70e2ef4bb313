#include "support/DevSim.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace testsupport
{
namespace
{
pid_t Spawn (const std::vector<std::string>& args, const juce::File& out, const juce::File& err)
{
#ifdef NUBLA_DEVSIM_PATH
    std::vector<std::string> all { NUBLA_DEVSIM_PATH };
    all.insert (all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all)
        argv.push_back (arg.data());
    argv.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, 1, out.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen (&actions, 2, err.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int result = posix_spawn (&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy (&actions);
    return result == 0 ? pid : -1;
#else
    juce::ignoreUnused (args, out, err);
    return -1;
#endif
}

// Polls for the end of pid; the exit status, -1 for a signal, -2 when still running.
int WaitFor (pid_t pid, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    for (;;)
    {
        int status = 0;
        if (::waitpid (pid, &status, WNOHANG) == pid)
            return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
        if (std::chrono::steady_clock::now() >= end)
            return -2;
        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
}
} // namespace

DevSim::~DevSim()
{
    stop();
}

bool DevSim::start (const juce::File& folder, const std::vector<std::string>& args)
{
    m_folder = folder;
    std::vector<std::string> all { "--dir", folder.getFullPathName().toStdString(),
                                   "--log", logFile().getFullPathName().toStdString() };
    all.insert (all.end(), args.begin(), args.end());
    m_pid = Spawn (all, summaryFile(), errorFile());
    return m_pid > 0;
}

int DevSim::stop()
{
    if (m_pid <= 0)
        return -1;
    ::kill (m_pid, SIGTERM);
    auto status = WaitFor (m_pid, 10000);
    if (status == -2)
    {
        ::kill (m_pid, SIGKILL);
        status = WaitFor (m_pid, 10000);
    }
    m_pid = -1;
    return status;
}

int DevSim::waitForExit (int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    const auto status = WaitFor (m_pid, timeoutMs);
    if (status != -2)
        m_pid = -1;
    return status;
}

std::vector<std::string> DevSim::log() const
{
    juce::StringArray lines;
    logFile().readLines (lines);
    std::vector<std::string> result;
    for (const auto& line : lines)
        if (line.isNotEmpty())
            result.push_back (line.toStdString());
    return result;
}

std::map<std::string, std::string> DevSim::summary() const
{
    juce::StringArray lines;
    summaryFile().readLines (lines);
    std::map<std::string, std::string> result;
    for (const auto& line : lines)
        if (line.contains ("="))
            result[line.upToFirstOccurrenceOf ("=", false, false).toStdString()]
                = line.fromFirstOccurrenceOf ("=", false, false).toStdString();
    return result;
}

int runDevSim (const std::vector<std::string>& args, std::string* errorText, int timeoutMs)
{
    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("nubla-devsim-run", "");
    folder.createDirectory();
    const auto out = folder.getChildFile ("out");
    const auto err = folder.getChildFile ("err");
    const auto pid = Spawn (args, out, err);
    int status = -1;
    if (pid > 0)
    {
        status = WaitFor (pid, timeoutMs);
        if (status == -2)
        {
            ::kill (pid, SIGKILL);
            WaitFor (pid, 5000);
            status = -2;
        }
    }
    if (errorText != nullptr)
        *errorText = err.loadFileAsString().toStdString();
    folder.deleteRecursively();
    return status;
}

std::string hexLine (const std::vector<uint8_t>& bytes)
{
    std::string line;
    for (const auto byte : bytes)
    {
        if (! line.empty())
            line += ' ';
        line += juce::String::toHexString (byte).paddedLeft ('0', 2).toUpperCase().toStdString();
    }
    return line;
}
} // namespace testsupport
