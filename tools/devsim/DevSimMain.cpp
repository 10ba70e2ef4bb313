// nubla-devsim: plays one MARVEK NUBLA device over the virtual HID transport (see --help).

#include "DevSimDevice.h"
#include "DevSimOptions.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
using devsim::Device;
using devsim::Options;
using devsim::Reply;

constexpr size_t MAX_MESSAGE = 4096;
constexpr size_t DESCRIPTOR_SIZE = 24;

int g_signalPipe[2] = { -1, -1 };

void OnSignal (int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write (g_signalPipe[1], &byte, 1);
}

bool InstallSignalHandlers()
{
    if (::pipe2 (g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset (&action.sa_mask);
    ::signal (SIGPIPE, SIG_IGN);
    return ::sigaction (SIGINT, &action, nullptr) == 0 && ::sigaction (SIGTERM, &action, nullptr) == 0;
}

double NowMs()
{
    timespec now {};
    ::clock_gettime (CLOCK_MONOTONIC, &now);
    return static_cast<double> (now.tv_sec) * 1e3 + static_cast<double> (now.tv_nsec) / 1e6;
}

// Sleeps until deadlineMs with sub-millisecond accuracy: a simulated device latency must
// not grow by the scheduler's wake-up slack, so the last stretch is spun.
void SleepUntil (double deadlineMs)
{
    constexpr double spinMs = 0.2;
    const double sleepMs = deadlineMs - NowMs() - spinMs;
    if (sleepMs > 0)
    {
        timespec pause {};
        pause.tv_sec = static_cast<time_t> (sleepMs / 1e3);
        pause.tv_nsec = static_cast<long> (std::fmod (sleepMs, 1e3) * 1e6);
        while (::nanosleep (&pause, &pause) != 0 && errno == EINTR)
        {
        }
    }
    while (NowMs() < deadlineMs)
    {
    }
}

// The device's end of the virtual HID transport: the listening socket, one host
// connection at a time, unplugging and plugging in again.
class Transport
{
public:
    explicit Transport (const Options& options)
        : m_options (options),
          m_socketPath (options.dir + "/" + options.name + ".sock"),
          m_tempPath (options.dir + "/." + options.name + ".tmp")
    {
    }

    ~Transport() { Unplug(); }

    // Binds under a temporary name, listens, and only then gives the socket its final
    // name, so the host never sees a socket that does not accept yet.
    bool Plug()
    {
        ::unlink (m_tempPath.c_str());
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        if (m_tempPath.size() >= sizeof address.sun_path)
            return Fail ("socket path too long");
        std::strcpy (address.sun_path, m_tempPath.c_str());
        m_listenFd = ::socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (m_listenFd < 0 || ::bind (m_listenFd, reinterpret_cast<sockaddr*> (&address), sizeof address) != 0
            || ::listen (m_listenFd, 4) != 0 || ::rename (m_tempPath.c_str(), m_socketPath.c_str()) != 0)
        {
            ::unlink (m_tempPath.c_str());
            return Fail ("cannot set up " + m_socketPath);
        }
        return true;
    }

    // The socket file goes first, so a host that sees the connection end finds no
    // device left to connect to.
    void Unplug()
    {
        if (m_listenFd >= 0)
        {
            ::unlink (m_socketPath.c_str());
            ::close (m_listenFd);
            m_listenFd = -1;
        }
        CloseConnection();
    }

    bool Plugged() const { return m_listenFd >= 0; }
    int ListenFd() const { return m_listenFd; }
    int ConnectionFd() const { return m_connFd; }

    // Takes a waiting host and sends it the descriptor; false when none came.
    bool Accept()
    {
        const int fd = ::accept4 (m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return false;
        uint8_t descriptor[DESCRIPTOR_SIZE] = { 'V', 'H', 'I', 'D' };
        const uint32_t values[] = { m_options.vendorId, m_options.productId, m_options.release, m_options.location };
        for (size_t i = 0; i < 4; ++i)
            for (size_t b = 0; b < 4; ++b)
                descriptor[4 + 4 * i + b] = static_cast<uint8_t> (values[i] >> (8 * b));
        if (::send (fd, descriptor, sizeof descriptor, MSG_NOSIGNAL) != static_cast<ssize_t> (sizeof descriptor))
        {
            ::close (fd);
            return false;
        }
        m_connFd = fd;
        return true;
    }

    void CloseConnection()
    {
        if (m_connFd >= 0)
            ::close (m_connFd);
        m_connFd = -1;
    }

    // Receives one report: its length, 0 when the host closed, -1 when none is waiting
    // (nonBlocking) or on an error.
    ssize_t Receive (uint8_t* buffer, bool nonBlocking)
    {
        const auto length = ::recv (m_connFd, buffer, MAX_MESSAGE, MSG_TRUNC | (nonBlocking ? MSG_DONTWAIT : 0));
        return length > static_cast<ssize_t> (MAX_MESSAGE) ? static_cast<ssize_t> (MAX_MESSAGE) : length;
    }

    void Send (const std::vector<uint8_t>& bytes)
    {
        if (m_connFd >= 0)
            ::send (m_connFd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

private:
    bool Fail (const std::string& what)
    {
        std::fprintf (stderr, "nubla-devsim: %s: %s\n", what.c_str(), std::strerror (errno));
        if (m_listenFd >= 0)
            ::close (m_listenFd);
        m_listenFd = -1;
        return false;
    }

    const Options& m_options;
    const std::string m_socketPath;
    const std::string m_tempPath;
    int m_listenFd = -1;
    int m_connFd = -1;
};

class Simulator
{
public:
    explicit Simulator (const Options& options)
        : m_options (options), m_device (options), m_transport (options), m_startMs (NowMs())
    {
    }

    ~Simulator()
    {
        if (m_log != nullptr)
            std::fclose (m_log);
    }

    bool Open()
    {
        if (! m_options.logFile.empty() && (m_log = std::fopen (m_options.logFile.c_str(), "w")) == nullptr)
        {
            std::fprintf (stderr, "nubla-devsim: cannot write %s\n", m_options.logFile.c_str());
            return false;
        }
        return m_transport.Plug();
    }

    // Serves hosts until a signal arrives; then answers what is still queued and stops.
    void Serve()
    {
        for (;;)
        {
            pollfd fds[3] = { { g_signalPipe[0], POLLIN, 0 }, { -1, POLLIN, 0 }, { -1, POLLIN, 0 } };
            if (m_transport.ConnectionFd() >= 0)
                fds[1].fd = m_transport.ConnectionFd();
            else if (m_transport.Plugged())
                fds[2].fd = m_transport.ListenFd();

            if (::poll (fds, 3, ReplugTimeoutMs()) < 0 && errno != EINTR)
                return;
            if (fds[0].revents != 0)
            {
                DrainQueuedReports();
                return;
            }
            if (! m_transport.Plugged() && m_replugAtMs >= 0 && NowMs() >= m_replugAtMs)
                PlugAgain();
            if ((fds[2].revents & POLLIN) != 0 && m_transport.Accept())
                m_device.ResetSession();
            if (fds[1].revents != 0)
                ServeOneReport (false);
        }
    }

    int Finish()
    {
        m_transport.Unplug();
        if (m_log != nullptr)
            std::fflush (m_log);
        bool ok = m_device.Violations() == 0;
        if (! m_options.flashOut.empty() && ! WriteFlash())
            ok = false;
        m_device.PrintSummary (stdout);
        // The device's own share of the exchanges: from each report's arrival to its answer.
        std::printf ("answer_time_ms=%.3f\n", m_answerTimeMs);
        if (! m_options.verifyFile.empty())
            ok = Verify() && ok;
        std::fflush (stdout);
        return ok ? 0 : 1;
    }

private:
    int ReplugTimeoutMs() const
    {
        if (m_transport.Plugged() || m_replugAtMs < 0)
            return -1;
        return static_cast<int> (std::ceil (std::max (0.0, m_replugAtMs - NowMs())));
    }

    void PlugAgain()
    {
        m_replugAtMs = -1;
        if (! m_transport.Plug())
            std::fprintf (stderr, "nubla-devsim: could not plug in again\n");
    }

    void DrainQueuedReports()
    {
        while (m_transport.ConnectionFd() >= 0 && ServeOneReport (true))
        {
        }
    }

    // Returns false when no report was taken.
    bool ServeOneReport (bool nonBlocking)
    {
        uint8_t buffer[MAX_MESSAGE];
        const auto length = m_transport.Receive (buffer, nonBlocking);
        if (length <= 0)
        {
            if (length == 0 || ! nonBlocking)
                m_transport.CloseConnection(); // the host went away
            return false;
        }
        const double arrivedMs = NowMs();
        Log (buffer, static_cast<size_t> (length), arrivedMs);

        const Reply reply = m_device.Handle (buffer, static_cast<size_t> (length));
        switch (reply.action)
        {
            case Reply::Action::Send:
                if (reply.delayMs > 0)
                    SleepUntil (arrivedMs + reply.delayMs);
                m_transport.Send (reply.bytes);
                m_answerTimeMs += NowMs() - arrivedMs;
                break;
            case Reply::Action::Unplug:
                m_transport.Unplug();
                m_replugAtMs = reply.unplugMs >= 0 ? NowMs() + reply.unplugMs : -1;
                break;
            case Reply::Action::None:
                break;
        }
        return true;
    }

    void Log (const uint8_t* bytes, size_t length, double arrivedMs)
    {
        if (m_log == nullptr)
            return;
        if (m_options.logTimes)
            std::fprintf (m_log, "%.3f ", arrivedMs - m_startMs);
        for (size_t i = 0; i < length; ++i)
            std::fprintf (m_log, i == 0 ? "%02X" : " %02X", bytes[i]);
        std::fputc ('\n', m_log);
    }

    bool WriteFlash()
    {
        std::ofstream out (m_options.flashOut, std::ios::binary);
        out.write (reinterpret_cast<const char*> (m_device.Flash().data()), static_cast<std::streamsize> (m_device.Flash().size()));
        if (out.good())
            return true;
        std::fprintf (stderr, "nubla-devsim: cannot write %s\n", m_options.flashOut.c_str());
        return false;
    }

    bool Verify()
    {
        std::ifstream in (m_options.verifyFile, std::ios::binary);
        const std::vector<uint8_t> file ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
        std::string result;
        const bool ok = in.good() || in.eof() ? m_device.Verify (file, result) : (result = "differs: cannot read the file", false);
        std::printf ("verify=%s\n", result.c_str());
        return ok;
    }

    const Options& m_options;
    Device m_device;
    Transport m_transport;
    FILE* m_log = nullptr;
    const double m_startMs;
    double m_replugAtMs = -1;
    double m_answerTimeMs = 0;
};
} // namespace

int main (int argc, char** argv)
{
    Options options;
    std::string error;
    switch (devsim::ParseOptions (argc, argv, options, error))
    {
        case devsim::ParseResult::Help:
            std::fputs (devsim::UsageText(), stdout);
            return 0;
        case devsim::ParseResult::Error:
            std::fprintf (stderr, "nubla-devsim: %s\n\n%s", error.c_str(), devsim::UsageText());
            return 2;
        case devsim::ParseResult::Run:
            break;
    }

    // Sleeps end on time, not up to 50 us late, so a simulated latency stays exact.
    ::prctl (PR_SET_TIMERSLACK, 1UL);
    if (! InstallSignalHandlers())
        return 3;
    Simulator simulator (options);
    if (! simulator.Open())
        return 3;
    simulator.Serve();
    return simulator.Finish();
}
