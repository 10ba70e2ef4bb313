#include "support/DevSim.h"

#include "support/TempFolder.h"

#include <signal.h>

namespace testsupport
{
namespace
{
// The emulator's exit status, or -1 when a signal ended it.
int ExitStatus (std::optional<int> code)
{
    return code && *code < 128 ? *code : -1;
}
} // namespace

DevSim::~DevSim()
{
    stop();
}

bool DevSim::start (const juce::File& folder, const std::vector<std::string>& args)
{
#ifdef NUBLA_DEVSIM_PATH
    m_folder = folder;
    std::vector<std::string> all { "--dir", folder.getFullPathName().toStdString(),
                                   "--log", logFile().getFullPathName().toStdString() };
    all.insert (all.end(), args.begin(), args.end());
    m_running = m_process.start (NUBLA_DEVSIM_PATH, all, {}, summaryFile().getFullPathName().toStdString(),
                                 errorFile().getFullPathName().toStdString());
    return m_running;
#else
    juce::ignoreUnused (folder, args);
    return false;
#endif
}

int DevSim::stop()
{
    if (! m_running)
        return -1;
    m_process.kill (SIGTERM);
    auto code = m_process.waitForExit (10000);
    if (! code)
    {
        m_process.kill (SIGKILL);
        code = m_process.waitForExit (10000);
    }
    m_running = false;
    return ExitStatus (code);
}

int DevSim::waitForExit (int timeoutMs)
{
    if (! m_running)
        return -1;
    const auto code = m_process.waitForExit (timeoutMs);
    if (code)
        m_running = false;
    return ExitStatus (code);
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
    TempFolder folder;
    const auto err = folder.child ("err");
    int status = -1;
#ifdef NUBLA_DEVSIM_PATH
    ChildProcess process;
    if (process.start (NUBLA_DEVSIM_PATH, args, {}, folder.child ("out").getFullPathName().toStdString(),
                       err.getFullPathName().toStdString()))
    {
        const auto code = process.waitForExit (timeoutMs);
        status = code ? ExitStatus (code) : -2; // still running: killed with the process object
    }
#else
    juce::ignoreUnused (args, timeoutMs);
#endif
    if (errorText != nullptr)
        *errorText = err.loadFileAsString().toStdString();
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
