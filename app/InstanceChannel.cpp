#include "app/InstanceChannel.h"

#include <juce_events/juce_events.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace
{
bool makeAddress (const juce::String& path, sockaddr_un& address)
{
    std::memset (&address, 0, sizeof (address));
    address.sun_family = AF_UNIX;
    const auto utf8 = path.toRawUTF8();
    if (std::strlen (utf8) >= sizeof (address.sun_path))
        return false;
    std::strcpy (address.sun_path, utf8);
    return true;
}
} // namespace

juce::String InstanceChannel::socketPath (const juce::String& appName)
{
    // Beside the lock file of JUCE's single-instance check, so both have the same scope.
    const juce::File varTmp ("/var/tmp");
    const auto folder = varTmp.isDirectory() ? varTmp : juce::File ("/tmp");
    return folder.getChildFile ("juceAppLock_" + appName + ".instance").getFullPathName();
}

InstanceChannel::InstanceChannel (const juce::String& appName, std::function<void()> onAnotherInstance)
    : m_onAnotherInstance (std::move (onAnotherInstance)),
      m_path (socketPath (appName))
{
    sockaddr_un address;
    if (! makeAddress (m_path, address))
        return;

    m_fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return;

    // Only the instance holding JUCE's lock gets here, so a socket file left by a crash is stale.
    ::unlink (address.sun_path);
    if (::bind (m_fd, reinterpret_cast<sockaddr*> (&address), sizeof (address)) != 0
        || ::listen (m_fd, 4) != 0)
    {
        ::close (m_fd);
        m_fd = -1;
        return;
    }

    juce::LinuxEventLoop::registerFdCallback (m_fd, [this] (int) { acceptConnection(); });
}

InstanceChannel::~InstanceChannel()
{
    if (m_fd < 0)
        return;
    juce::LinuxEventLoop::unregisterFdCallback (m_fd);
    ::close (m_fd);
    ::unlink (m_path.toRawUTF8());
}

void InstanceChannel::acceptConnection()
{
    const int connection = ::accept4 (m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0)
        return;
    ::close (connection);
    if (m_onAnotherInstance)
        m_onAnotherInstance();
}

bool InstanceChannel::notifyRunningInstance (const juce::String& appName)
{
    sockaddr_un address;
    if (! makeAddress (socketPath (appName), address))
        return false;

    const int fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected = ::connect (fd, reinterpret_cast<sockaddr*> (&address), sizeof (address)) == 0;
    ::close (fd);
    return connected;
}
