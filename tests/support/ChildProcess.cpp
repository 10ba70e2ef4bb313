#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace testsupport
{
ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && ! m_exitCode)
    {
        kill (SIGKILL);
        waitForExit (5000);
    }
}

bool ChildProcess::start (const std::string& path, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env, const std::string& outputFile)
{
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e != nullptr; ++e)
    {
        const std::string entry (*e);
        const auto eq = entry.find ('=');
        if (eq != std::string::npos)
            merged[entry.substr (0, eq)] = entry.substr (eq + 1);
    }
    for (const auto& [key, value] : env)
        merged[key] = value;

    std::vector<std::string> envStrings;
    for (const auto& [key, value] : merged)
        envStrings.push_back (key + "=" + value);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back (s.data());
    envp.push_back (nullptr);

    std::vector<std::string> argStrings { path };
    argStrings.insert (argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings)
        argv.push_back (s.data());
    argv.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    if (! outputFile.empty())
    {
        posix_spawn_file_actions_addopen (&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2 (&actions, 1, 2);
    }
    pid_t pid = -1;
    const int rc = posix_spawn (&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy (&actions);
    if (rc != 0)
        return false;
    m_pid = pid;
    m_exitCode.reset();
    return true;
}

bool ChildProcess::isRunning()
{
    return m_pid > 0 && ! waitForExit (0);
}

std::optional<int> ChildProcess::waitForExit (int timeoutMs)
{
    if (m_exitCode || m_pid <= 0)
        return m_exitCode;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    for (;;)
    {
        int status = 0;
        const pid_t r = ::waitpid (static_cast<pid_t> (m_pid), &status, WNOHANG);
        if (r == m_pid)
        {
            m_exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
            return m_exitCode;
        }
        if (r < 0 || std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for (std::chrono::milliseconds (5));
    }
}

void ChildProcess::kill (int signal)
{
    if (m_pid > 0 && ! m_exitCode)
        ::kill (static_cast<pid_t> (m_pid), signal);
}

RunResult runProgram (const std::string& path, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env, int timeoutMs)
{
    char name[] = "/tmp/nubla-run-XXXXXX";
    const int fd = ::mkstemp (name);
    if (fd >= 0)
        ::close (fd);

    RunResult result;
    ChildProcess child;
    if (! child.start (path, args, env, name))
        return result;
    result.exitCode = child.waitForExit (timeoutMs).value_or (-1);

    std::ifstream in (name);
    std::stringstream text;
    text << in.rdbuf();
    result.output = text.str();
    ::unlink (name);
    return result;
}
} // namespace testsupport
