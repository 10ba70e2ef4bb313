#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
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
                          const std::map<std::string, std::string>& env, const std::string& outputFile,
                          const std::string& errorFile)
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

    // fork and exec rather than posix_spawn, so the child can ask to be killed with this
    // process: a test killed by a time-out must not leave a program running.
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0)
    {
        ::prctl (PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit (127);
        const auto redirect = [] (const std::string& file, int target) {
            const int fd = ::open (file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0)
            {
                ::dup2 (fd, target);
                ::close (fd);
            }
        };
        if (! outputFile.empty())
        {
            redirect (outputFile, 1);
            if (errorFile.empty())
                ::dup2 (1, 2);
        }
        if (! errorFile.empty())
            redirect (errorFile, 2);
        ::execve (path.c_str(), argv.data(), envp.data());
        ::_exit (127);
    }
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
