#include "support/VirtualDevice.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport
{
VhidFolder::VhidFolder()
{
    char pattern[] = "/tmp/nubla-vhid-XXXXXX";
    if (::mkdtemp (pattern) != nullptr)
        m_path = pattern;
    ::setenv ("NUBLA_VHID_DIR", m_path.c_str(), 1);
}

VhidFolder::~VhidFolder()
{
    ::unsetenv ("NUBLA_VHID_DIR");
    std::error_code ignored;
    if (! m_path.empty())
        std::filesystem::remove_all (m_path, ignored);
}

VirtualDevice::VirtualDevice (std::string folder, std::string name, Identity identity)
    : m_folder (std::move (folder)), m_name (std::move (name)), m_descriptor (makeDescriptor (identity))
{
}

VirtualDevice::~VirtualDevice()
{
    unplug();
}

std::vector<uint8_t> VirtualDevice::makeDescriptor (const Identity& identity)
{
    std::vector<uint8_t> bytes { 'V', 'H', 'I', 'D' };
    for (const uint32_t value : { identity.vendorId, identity.productId, identity.versionNumber,
                                  identity.locationId, 0u })
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back (static_cast<uint8_t> (value >> shift));
    return bytes;
}

void VirtualDevice::setDescriptor (std::vector<uint8_t> bytes)
{
    const std::lock_guard<std::mutex> lock (m_lock);
    m_descriptor = std::move (bytes);
}

bool VirtualDevice::plug()
{
    unplug();
    const std::string temporary = m_folder + "/." + m_name + ".tmp";
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (temporary.size() >= sizeof address.sun_path || ::pipe2 (m_stopPipe, O_CLOEXEC) != 0)
        return false;
    std::memcpy (address.sun_path, temporary.c_str(), temporary.size() + 1);
    m_listenFd = ::socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0 || ::bind (m_listenFd, reinterpret_cast<sockaddr*> (&address), sizeof address) != 0
        || ::listen (m_listenFd, 4) != 0 || ::rename (temporary.c_str(), socketPath().c_str()) != 0)
    {
        std::perror ("VirtualDevice::plug");
        return false;
    }
    m_thread = std::thread ([this] { serve(); });
    return true;
}

void VirtualDevice::unplug()
{
    if (m_thread.joinable())
    {
        const char stop = 1;
        [[maybe_unused]] const auto written = ::write (m_stopPipe[1], &stop, 1);
        m_thread.join();
    }
    closeConnection();
    ::unlink (socketPath().c_str());
    for (int* fd : { &m_listenFd, &m_stopPipe[0], &m_stopPipe[1] })
        if (*fd >= 0)
        {
            ::close (*fd);
            *fd = -1;
        }
}

void VirtualDevice::closeConnection()
{
    const std::lock_guard<std::mutex> lock (m_lock);
    if (m_connFd >= 0)
        ::close (m_connFd);
    m_connFd = -1;
    m_descriptorSent = false;
}

void VirtualDevice::serve()
{
    for (;;)
    {
        pollfd fds[2] { { m_listenFd, POLLIN, 0 }, { m_stopPipe[0], POLLIN, 0 } };
        if (::poll (fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents == 0)
            continue;
        const int fd = ::accept4 (m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++m_connections;
        closeConnection();
        const std::lock_guard<std::mutex> lock (m_lock);
        if (! m_descriptor.empty())
            m_descriptorSent = ::send (fd, m_descriptor.data(), m_descriptor.size(), MSG_NOSIGNAL)
                               == static_cast<ssize_t> (m_descriptor.size());
        m_connFd = fd;
        m_connected.notify_all();
    }
}

bool VirtualDevice::waitConnected (int timeoutMs)
{
    std::unique_lock<std::mutex> lock (m_lock);
    return m_connected.wait_for (lock, std::chrono::milliseconds (timeoutMs), [this] { return m_descriptorSent; });
}

bool VirtualDevice::isConnected() const
{
    const std::lock_guard<std::mutex> lock (m_lock);
    return m_descriptorSent;
}

bool VirtualDevice::sendInput (const std::vector<uint8_t>& report)
{
    const std::lock_guard<std::mutex> lock (m_lock);
    return m_connFd >= 0
           && ::send (m_connFd, report.data(), report.size(), MSG_NOSIGNAL) == static_cast<ssize_t> (report.size());
}

std::optional<std::vector<uint8_t>> VirtualDevice::readOutput (int timeoutMs)
{
    int fd;
    {
        const std::lock_guard<std::mutex> lock (m_lock);
        fd = m_connFd;
    }
    pollfd pfd { fd, POLLIN, 0 };
    if (fd < 0 || ::poll (&pfd, 1, timeoutMs) <= 0)
        return std::nullopt;
    std::vector<uint8_t> report (4096);
    const ssize_t n = ::recv (fd, report.data(), report.size(), MSG_DONTWAIT);
    if (n <= 0)
        return std::nullopt;
    report.resize (static_cast<size_t> (n));
    return report;
}
} // namespace testsupport
