// System HID devices: the kernel's hidraw nodes, listed and watched with libudev. A node
// is opened only while its device is taken; other devices are known from udev alone.

#include "hid/HidPlatform.h"
#include "hid/HidPlatformHidraw.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

namespace hidraw
{
namespace
{
// Parses all of text as a hexadecimal number of at most maxDigits digits.
std::optional<uint32_t> parseHex (const std::string& text, size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    uint32_t value = 0;
    for (const char c : text)
    {
        const char* digits = "0123456789abcdef";
        const char* at = std::strchr (digits, c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
        if (c == '\0' || at == nullptr)
            return std::nullopt;
        value = value << 4 | uint32_t (at - digits);
    }
    return value;
}

std::optional<uint32_t> parseDecimal (const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of ("0123456789") != std::string::npos)
        return std::nullopt;
    return static_cast<uint32_t> (std::stoul (text));
}
} // namespace

std::optional<HidId> parseHidId (const char* text)
{
    if (text == nullptr)
        return std::nullopt;
    const std::string s (text);
    const auto first = s.find (':');
    const auto second = first == std::string::npos ? first : s.find (':', first + 1);
    if (second == std::string::npos)
        return std::nullopt;
    const auto bus = parseHex (s.substr (0, first), 8);
    const auto vendor = parseHex (s.substr (first + 1, second - first - 1), 8);
    const auto product = parseHex (s.substr (second + 1), 8);
    if (! bus || ! vendor || ! product)
        return std::nullopt;
    return HidId { *bus, *vendor, *product };
}

uint32_t parseBcdDevice (const char* text)
{
    if (text == nullptr)
        return 0;
    std::string s (text);
    while (! s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return parseHex (s, 4).value_or (0);
}

std::optional<uint32_t> makeLocationId (const char* busnum, const char* devpath)
{
    if (busnum == nullptr || devpath == nullptr)
        return std::nullopt;
    const auto bus = parseDecimal (busnum);
    if (! bus || *bus > 0xFF)
        return std::nullopt;
    uint32_t location = *bus << 24;
    int shift = 20;
    const std::string path (devpath);
    size_t start = 0;
    while (start <= path.size())
    {
        const auto end = std::min (path.find ('.', start), path.size());
        const auto port = parseDecimal (path.substr (start, end - start));
        if (! port)
            return std::nullopt;
        if (shift >= 0)
            location |= std::min<uint32_t> (*port, 0xF) << shift;
        shift -= 4;
        start = end + 1;
    }
    return location;
}

std::optional<PrimaryUsage> parsePrimaryUsage (const uint8_t* descriptor, size_t length)
{
    constexpr uint8_t kLongItem = 0xFE, kUsagePage = 0x04, kUsage = 0x08, kCollection = 0xA0;
    std::optional<uint32_t> page, usage;
    size_t i = 0;
    while (descriptor != nullptr && i < length)
    {
        const uint8_t prefix = descriptor[i];
        if (prefix == kLongItem)
        {
            i += 3 + (i + 1 < length ? descriptor[i + 1] : 0);
            continue;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + size > length)
            break;
        uint32_t value = 0;
        for (size_t b = 0; b < size; ++b)
            value |= uint32_t (descriptor[i + 1 + b]) << (8 * b);
        const uint8_t tag = prefix & 0xFC;
        if (tag == kUsagePage)
            page = value;
        else if (tag == kUsage && size == 4) // an extended usage carries its own page
            page = value >> 16, usage = value & 0xFFFF;
        else if (tag == kUsage && ! usage)
            usage = value;
        else if (tag == kCollection)
            return page && usage ? std::optional<PrimaryUsage> ({ *page, *usage }) : std::nullopt;
        i += 1 + size;
    }
    return std::nullopt;
}

size_t frameOutputReport (const uint8_t* data, size_t length, uint8_t* out, size_t capacity)
{
    if (data == nullptr || length == 0 || length + 1 > capacity)
        return 0;
    out[0] = 0;
    std::memcpy (out + 1, data, length);
    return length + 1;
}

std::string permissionMessage (const std::string& node)
{
    return "No permission to open the MARVEK NUBLA at " + node
           + "; install resources/linux/70-marvek-nubla.rules into /etc/udev/rules.d/, run "
             "'udevadm control --reload-rules', then plug the device in again.\n";
}
} // namespace hidraw

namespace
{
void reportNoPermissionOnce (const std::string& node)
{
    static std::atomic<bool> reported { false };
    if (! reported.exchange (true))
        std::fputs (hidraw::permissionMessage (node).c_str(), stderr);
}

std::optional<hidraw::PrimaryUsage> readPrimaryUsage (const char* hidSyspath)
{
    if (hidSyspath == nullptr)
        return std::nullopt;
    const int fd = ::open ((std::string (hidSyspath) + "/report_descriptor").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    uint8_t descriptor[4096]; // the kernel's limit for a report descriptor
    const ssize_t n = ::read (fd, descriptor, sizeof descriptor);
    ::close (fd);
    return n > 0 ? hidraw::parsePrimaryUsage (descriptor, static_cast<size_t> (n)) : std::nullopt;
}

// The properties of a hidraw device from udev: ids from the HID parent, version and
// location from the USB device, when there is one.
HidDevice::Properties readProperties (udev_device* device)
{
    HidDevice::Properties properties;
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype (device, "hid", nullptr);
    if (hid != nullptr)
        if (const auto id = hidraw::parseHidId (udev_device_get_property_value (hid, "HID_ID")))
        {
            properties[kHidVendorIDKey] = id->vendorId;
            properties[kHidProductIDKey] = id->productId;
        }
    if (hid != nullptr)
        if (const auto usage = readPrimaryUsage (udev_device_get_syspath (hid)))
        {
            properties[kHidPrimaryUsagePageKey] = usage->page;
            properties[kHidPrimaryUsageKey] = usage->usage;
        }
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype (device, "usb", "usb_device");
    properties[kHidVersionNumberKey] = usb != nullptr ? hidraw::parseBcdDevice (udev_device_get_sysattr_value (usb, "bcdDevice")) : 0;
    const auto location = usb != nullptr ? hidraw::makeLocationId (udev_device_get_sysattr_value (usb, "busnum"),
                                                                   udev_device_get_sysattr_value (usb, "devpath"))
                                         : std::nullopt;
    properties[kHidLocationIDKey] = location.value_or (hidraw::kNoUsbLocationId);
    return properties;
}

class HidrawDevice final : public HidDevice
{
public:
    HidrawDevice (Properties properties, std::string node)
        : HidDevice (std::move (properties)), m_node (std::move (node)) {}

    ~HidrawDevice() override { closeNode(); }

    void setOnGone (std::function<void (const HidDeviceRef&)> onGone) { m_onGone = std::move (onGone); }

    bool scheduleWithRunLoop() override
    {
        if (isRemoved())
            return false;
        if (m_fd >= 0)
            return true;
        const int fd = ::open (m_node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
        {
            if (errno == EACCES || errno == EPERM)
                reportNoPermissionOnce (m_node);
            return false;
        }
        {
            const std::lock_guard<std::mutex> lock (m_writeLock);
            m_fd = fd;
        }
        m_watch.start (fd, [this] { receive(); });
        return true;
    }

    void unscheduleFromRunLoop() override { closeNode(); }

    bool setOutputReport (const uint8_t* data, size_t length) override
    {
        uint8_t frame[hidraw::kMaxOutputReport + 1];
        const size_t size = hidraw::frameOutputReport (data, length, frame, sizeof frame);
        const std::lock_guard<std::mutex> lock (m_writeLock);
        if (m_fd < 0 || size == 0)
            return false;
        ssize_t n;
        do
            n = ::write (m_fd, frame, size);
        while (n < 0 && errno == EINTR);
        return n == static_cast<ssize_t> (size);
    }

    void closeNode()
    {
        m_watch.stop();
        const std::lock_guard<std::mutex> lock (m_writeLock); // never close under a running write
        if (m_fd >= 0)
            ::close (m_fd);
        m_fd = -1;
    }

    // The udev removal, or the node's own hang-up, whichever comes first.
    void gone()
    {
        const auto self = shared_from_this();
        closeNode();
        if (auto onGone = std::move (m_onGone))
            onGone (self);
    }

private:
    // Each read returns one input report.
    void receive()
    {
        const auto self = shared_from_this();
        uint8_t report[hidraw::kMaxOutputReport];
        while (m_fd >= 0)
        {
            const ssize_t n = ::read (m_fd, report, sizeof report);
            if (n > 0)
                deliverInputReport (report, static_cast<size_t> (n));
            else if (n < 0 && errno == EINTR)
                continue;
            else if (n < 0 && errno == EAGAIN)
                return;
            else
                return gone();
        }
    }

    const std::string m_node;
    int m_fd = -1; // written on the message thread under m_writeLock
    std::mutex m_writeLock;
    FdWatch m_watch;
    std::function<void (const HidDeviceRef&)> m_onGone;
};

class HidrawManager final : public HidManager
{
public:
    explicit HidrawManager (udev* context) : m_udev (context) {}

    ~HidrawManager() override
    {
        m_monitorWatch.stop();
        for (auto& entry : m_bySyspath)
        {
            entry.second->setOnGone (nullptr);
            entry.second->closeNode();
        }
        if (m_monitor != nullptr)
            udev_monitor_unref (m_monitor);
        udev_unref (m_udev);
    }

    // The monitor comes first, so a device plugged in during the listing is not missed.
    bool open() override
    {
        if (m_open)
            return true;
        if (! startMonitor() || ! listDevices())
            return false;
        m_open = true;
        return true;
    }

private:
    bool startMonitor()
    {
        m_monitor = udev_monitor_new_from_netlink (m_udev, "udev");
        if (m_monitor == nullptr
            || udev_monitor_filter_add_match_subsystem_devtype (m_monitor, "hidraw", nullptr) < 0
            || udev_monitor_enable_receiving (m_monitor) < 0)
            return false;
        m_monitorWatch.start (udev_monitor_get_fd (m_monitor), [this] { receiveEvents(); });
        return true;
    }

    bool listDevices()
    {
        udev_enumerate* enumerate = udev_enumerate_new (m_udev);
        if (enumerate == nullptr)
            return false;
        const bool scanned = udev_enumerate_add_match_subsystem (enumerate, "hidraw") >= 0
                             && udev_enumerate_scan_devices (enumerate) >= 0;
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach (entry, scanned ? udev_enumerate_get_list_entry (enumerate) : nullptr)
            if (udev_device* device = udev_device_new_from_syspath (m_udev, udev_list_entry_get_name (entry)))
            {
                add (device);
                udev_device_unref (device);
            }
        udev_enumerate_unref (enumerate);
        return scanned;
    }

    void receiveEvents()
    {
        while (udev_device* device = udev_monitor_receive_device (m_monitor))
        {
            const char* action = udev_device_get_action (device);
            if (action != nullptr && std::strcmp (action, "add") == 0)
                add (device);
            else if (action != nullptr && std::strcmp (action, "remove") == 0)
                remove (udev_device_get_syspath (device));
            udev_device_unref (device);
        }
    }

    void add (udev_device* device)
    {
        const char* syspath = udev_device_get_syspath (device);
        const char* node = udev_device_get_devnode (device);
        if (syspath == nullptr || node == nullptr || m_bySyspath.count (syspath) != 0)
            return;
        auto hidrawDevice = std::make_shared<HidrawDevice> (readProperties (device), node);
        const std::string key (syspath);
        hidrawDevice->setOnGone ([this, key] (const HidDeviceRef& gone)
        {
            m_bySyspath.erase (key);
            deviceDetached (gone);
        });
        m_bySyspath[key] = hidrawDevice;
        deviceAttached (hidrawDevice);
    }

    void remove (const char* syspath)
    {
        if (syspath == nullptr)
            return;
        const auto it = m_bySyspath.find (syspath);
        if (it != m_bySyspath.end())
            it->second->gone();
    }

    udev* const m_udev;
    udev_monitor* m_monitor = nullptr;
    FdWatch m_monitorWatch;
    std::map<std::string, std::shared_ptr<HidrawDevice>> m_bySyspath;
};
} // namespace

HidManagerRef createHidrawManager()
{
    udev* context = udev_new();
    if (context == nullptr)
        return nullptr;
    return std::make_shared<HidrawManager> (context);
}
