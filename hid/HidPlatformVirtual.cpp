// Virtual HID devices: listening SOCK_SEQPACKET sockets named *.sock in one folder. The
// host connects to each, reads a 24-byte descriptor, then sends output reports and
// receives input reports as messages; a hang-up is the removal, a new file an arrival.

#include "hid/HidPlatform.h"

#include <juce_events/juce_events.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <tuple>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
constexpr int kDescriptorTimeoutMs = 1000;
constexpr size_t kDescriptorSize = 24;
constexpr size_t kMaxMessage = 4096;
constexpr int kSendTimeoutMs = 5000;
constexpr int kRescanIntervalMs = 200; // only when the folder cannot be watched

// Identifies one creation of a socket file: a file made again gets a new change time.
struct FileKey
{
    dev_t dev;
    ino_t ino;
    int64_t ctimeNs;
    bool operator< (const FileKey& o) const { return std::tie (dev, ino, ctimeNs) < std::tie (o.dev, o.ino, o.ctimeNs); }
};

uint32_t readLe32 (const uint8_t* p)
{
    return uint32_t (p[0]) | uint32_t (p[1]) << 8 | uint32_t (p[2]) << 16 | uint32_t (p[3]) << 24;
}

std::optional<HidDevice::Properties> parseDescriptor (const uint8_t* data, size_t length)
{
    if (length != kDescriptorSize || std::memcmp (data, "VHID", 4) != 0 || readLe32 (data + 20) != 0)
        return std::nullopt;
    return HidDevice::Properties { { kHidVendorIDKey, readLe32 (data + 4) },
                                   { kHidProductIDKey, readLe32 (data + 8) },
                                   { kHidVersionNumberKey, readLe32 (data + 12) },
                                   { kHidLocationIDKey, readLe32 (data + 16) } };
}

bool endsWithSock (const char* name)
{
    const size_t n = std::strlen (name);
    return n > 5 && std::strcmp (name + n - 5, ".sock") == 0;
}

// Waits for the descriptors of newly connected devices, all within one time-out; none for
// a device that fails to send a proper one in time.
std::vector<std::optional<HidDevice::Properties>> receiveDescriptors (const std::vector<int>& fds)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds (kDescriptorTimeoutMs);
    std::vector<std::optional<HidDevice::Properties>> descriptors (fds.size());
    std::vector<bool> done (fds.size(), false);
    for (size_t waiting = fds.size(); waiting > 0;)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
        std::vector<pollfd> pfds;
        std::vector<size_t> index;
        for (size_t i = 0; i < fds.size(); ++i)
            if (! done[i])
            {
                pfds.push_back ({ fds[i], POLLIN, 0 });
                index.push_back (i);
            }
        const int ready = left > 0 ? ::poll (pfds.data(), pfds.size(), static_cast<int> (left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        for (size_t k = 0; k < pfds.size(); ++k)
        {
            if (pfds[k].revents == 0)
                continue;
            uint8_t buffer[kMaxMessage];
            const ssize_t n = ::recv (pfds[k].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            done[index[k]] = true;
            --waiting;
            if (n > 0)
                descriptors[index[k]] = parseDescriptor (buffer, static_cast<size_t> (n));
        }
    }
    return descriptors;
}

// Connects to a device socket; the connection is blocking for sends (with a time-out) and
// read without waiting.
int connectSocket (const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy (address.sun_path, path.c_str(), path.size() + 1);

    const int fd = ::socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    timeval sendTimeout { kSendTimeoutMs / 1000, 0 };
    if (::connect (fd, reinterpret_cast<const sockaddr*> (&address), sizeof address) != 0
        || ::setsockopt (fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout) != 0)
    {
        ::close (fd);
        return -1;
    }
    return fd;
}

bool makeBlocking (int fd)
{
    const int flags = ::fcntl (fd, F_GETFL);
    return flags >= 0 && ::fcntl (fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

class VirtualHidDevice final : public HidDevice
{
public:
    VirtualHidDevice (Properties properties, int fd)
        : HidDevice (std::move (properties)), m_fd (fd) {}

    ~VirtualHidDevice() override { disconnect(); }

    // The manager watches every connection, taken or not, to see its hang-up.
    void watch (std::function<void (const HidDeviceRef&)> onHangUp)
    {
        m_onHangUp = std::move (onHangUp);
        m_watch.start (m_fd, [this] { receive(); });
    }

    // Takes in everything the device has sent so far, including a hang-up.
    void receive()
    {
        const auto self = shared_from_this(); // a callback may drop the last other reference
        uint8_t buffer[kMaxMessage];
        while (m_fd >= 0)
        {
            const ssize_t n = ::recv (m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
            {
                if (m_scheduled)
                    deliverInputReport (buffer, static_cast<size_t> (n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return;
            hangUp();
        }
    }

    void disconnect()
    {
        m_watch.stop();
        m_onHangUp = nullptr;
        const std::lock_guard<std::mutex> lock (m_sendLock); // never close under a running send
        if (m_fd >= 0)
            ::close (m_fd);
        m_fd = -1;
    }

    bool scheduleWithRunLoop() override
    {
        m_scheduled = m_fd >= 0;
        return m_scheduled;
    }

    void unscheduleFromRunLoop() override { m_scheduled = false; }

    bool setOutputReport (const uint8_t* data, size_t length) override
    {
        const std::lock_guard<std::mutex> lock (m_sendLock);
        if (m_fd < 0 || data == nullptr || length == 0)
            return false;
        ssize_t n;
        do
            n = ::send (m_fd, data, length, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n == static_cast<ssize_t> (length);
    }

private:
    void hangUp()
    {
        auto onHangUp = std::move (m_onHangUp);
        disconnect();
        if (onHangUp)
            onHangUp (shared_from_this());
    }

    int m_fd; // written on the message thread under m_sendLock
    std::mutex m_sendLock;
    FdWatch m_watch;
    std::function<void (const HidDeviceRef&)> m_onHangUp;
    bool m_scheduled = false;
};

class VirtualHidManager final : public HidManager, private juce::Timer
{
public:
    explicit VirtualHidManager (std::string folder) : m_folder (std::move (folder)) {}

    ~VirtualHidManager() override
    {
        stopTimer();
        m_folderWatch.stop();
        if (m_inotifyFd >= 0)
            ::close (m_inotifyFd);
        for (const auto& device : attachedDevices())
            static_cast<VirtualHidDevice&> (*device).disconnect();
    }

    bool open() override
    {
        if (m_open)
            return true;
        watchFolder();
        if (! scanFolder())
            return false;
        m_open = true;
        return true;
    }

private:
    void watchFolder()
    {
        m_inotifyFd = ::inotify_init1 (IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotifyFd >= 0 && ::inotify_add_watch (m_inotifyFd, m_folder.c_str(), IN_CREATE | IN_MOVED_TO) >= 0)
        {
            m_folderWatch.start (m_inotifyFd, [this] { folderChanged(); });
            return;
        }
        startTimer (kRescanIntervalMs);
    }

    void timerCallback() override { scanFolder(); }

    void folderChanged()
    {
        alignas (inotify_event) char events[4096];
        while (::read (m_inotifyFd, events, sizeof events) > 0) {}
        scanFolder();
    }

    // Connects to every socket file not tried before. Removals and input that came first
    // are taken in first, so a device plugged out and in again is seen in that order.
    bool scanFolder()
    {
        receiveFromAll();
        DIR* dir = ::opendir (m_folder.c_str());
        if (dir == nullptr)
            return false;
        std::set<FileKey> present;
        std::vector<int> connections;
        while (const dirent* entry = ::readdir (dir))
            if (endsWithSock (entry->d_name))
                offerFile (m_folder + "/" + entry->d_name, present, connections);
        ::closedir (dir);
        // Forget files that are gone, so the set does not grow without end.
        for (auto it = m_triedFiles.begin(); it != m_triedFiles.end();)
            it = present.count (*it) != 0 ? std::next (it) : m_triedFiles.erase (it);
        attach (connections);
        return true;
    }

    void receiveFromAll()
    {
        const auto devices = attachedDevices();
        for (const auto& device : devices)
            static_cast<VirtualHidDevice&> (*device).receive();
    }

    // Each creation of a socket file is tried once: a device that failed its descriptor
    // is ignored until its file is created again.
    void offerFile (const std::string& path, std::set<FileKey>& present, std::vector<int>& connections)
    {
        struct stat st {};
        if (::lstat (path.c_str(), &st) != 0 || ! S_ISSOCK (st.st_mode))
            return;
        const FileKey key { st.st_dev, st.st_ino, int64_t (st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec };
        present.insert (key);
        if (! m_triedFiles.insert (key).second)
            return;
        const int fd = connectSocket (path);
        if (fd >= 0)
            connections.push_back (fd);
    }

    // Devices that sent a proper descriptor in time are attached; the others are dropped.
    void attach (const std::vector<int>& connections)
    {
        auto descriptors = receiveDescriptors (connections);
        for (size_t i = 0; i < connections.size(); ++i)
        {
            if (! descriptors[i] || ! makeBlocking (connections[i]))
            {
                ::close (connections[i]);
                continue;
            }
            auto device = std::make_shared<VirtualHidDevice> (std::move (*descriptors[i]), connections[i]);
            device->watch ([this] (const HidDeviceRef& gone) { deviceDetached (gone); });
            deviceAttached (device);
        }
    }

    const std::string m_folder;
    int m_inotifyFd = -1;
    FdWatch m_folderWatch;
    std::set<FileKey> m_triedFiles;
};
} // namespace

HidManagerRef createVirtualHidManager (const std::string& folder)
{
    return std::make_shared<VirtualHidManager> (folder);
}
