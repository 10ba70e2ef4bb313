#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The program's own small HID platform layer: a manager that lists the HID devices and
// reports arrivals, and device handles with numeric properties, a removal callback, an
// input-report callback into the caller's buffer and synchronous output reports.
// Every callback runs on the JUCE message thread. Two providers: the system's hidraw
// nodes, and the virtual devices of the folder named by NUBLA_VHID_DIR.

class HidDevice;
class HidManager;
using HidDeviceRef = std::shared_ptr<HidDevice>;
using HidManagerRef = std::shared_ptr<HidManager>;

// Property keys of a device.
constexpr const char* kHidVendorIDKey = "VendorID";
constexpr const char* kHidProductIDKey = "ProductID";
constexpr const char* kHidVersionNumberKey = "VersionNumber";
constexpr const char* kHidLocationIDKey = "LocationID";
constexpr const char* kHidPrimaryUsagePageKey = "PrimaryUsagePage";
constexpr const char* kHidPrimaryUsageKey = "PrimaryUsage";

constexpr int kHidSuccess = 0;
constexpr int kHidReportTypeInput = 0;

// context, result, sender (the device)
using HidRemovalCallback = void (*) (void*, int, void*);
// context, result, sender, report type, report id, report buffer, report length
using HidReportCallback = void (*) (void*, int, void*, int, uint32_t, uint8_t*, long);
// context, result, sender (the manager), the device that arrived
using HidDeviceCallback = void (*) (void*, int, void*, const HidDeviceRef&);

// Calls a function on the message thread whenever a file descriptor is ready (or hung up).
// Stopping is final for the calls JUCE has already collected: they are dropped.
class FdWatch
{
public:
    FdWatch() = default;
    ~FdWatch() { stop(); }
    FdWatch (const FdWatch&) = delete;
    FdWatch& operator= (const FdWatch&) = delete;

    void start (int fd, std::function<void()> onReady);
    void stop();

private:
    int m_fd = -1;
    std::shared_ptr<bool> m_live;
};

class HidDevice : public std::enable_shared_from_this<HidDevice>
{
public:
    using Properties = std::map<std::string, uint32_t>;

    explicit HidDevice (Properties properties) : m_properties (std::move (properties)) {}
    virtual ~HidDevice() = default;
    HidDevice (const HidDevice&) = delete;
    HidDevice& operator= (const HidDevice&) = delete;

    // A numeric property by key; none when the device lacks it. Safe on any thread.
    std::optional<uint32_t> getProperty (const std::string& key) const;

    // A null callback stops the calls. Message thread only.
    void registerRemovalCallback (HidRemovalCallback callback, void* context);
    void registerInputReportCallback (uint8_t* report, size_t reportSize,
                                      HidReportCallback callback, void* context);

    // Starts delivering input reports on the message thread, opening the device when it
    // needs it; false when the device is gone or cannot be opened.
    virtual bool scheduleWithRunLoop() = 0;
    // Stops delivering input reports; a device opened by scheduling is closed again.
    virtual void unscheduleFromRunLoop() = 0;
    // Sends one output report (no report id in front) and waits until the system took it.
    // Safe on any thread; false once the device is closed or gone.
    virtual bool setOutputReport (const uint8_t* data, size_t length) = 0;

    bool isRemoved() const { return m_removed; }

protected:
    // Copies a report into the registered buffer (at most its size) and calls back with
    // the report's full length.
    void deliverInputReport (const uint8_t* data, size_t length);
    // Marks the device gone and calls the removal callback, once.
    void deliverRemoval();

private:
    friend class HidManager;

    const Properties m_properties;
    HidRemovalCallback m_removalCallback = nullptr;
    void* m_removalContext = nullptr;
    HidReportCallback m_reportCallback = nullptr;
    void* m_reportContext = nullptr;
    uint8_t* m_reportBuffer = nullptr;
    size_t m_reportSize = 0;
    bool m_removed = false;
};

// One set of matching criteria: property key to value; empty matches every device.
using HidMatchingDictionary = std::map<std::string, int32_t>;
// Any dictionary may match; no list at all matches every device.
using HidMatchingCriteria = std::optional<std::vector<HidMatchingDictionary>>;

bool deviceMeetsCriteria (const HidDevice& device, const HidMatchingCriteria& criteria);

class HidManager
{
public:
    // Virtual devices only when NUBLA_VHID_DIR is set and not empty, else the system's
    // hidraw devices. Null when the provider cannot be set up.
    static HidManagerRef create();

    virtual ~HidManager() = default;
    HidManager (const HidManager&) = delete;
    HidManager& operator= (const HidManager&) = delete;

    void setDeviceMatching (HidMatchingCriteria criteria) { m_criteria = std::move (criteria); }
    const HidMatchingCriteria& getDeviceMatching() const { return m_criteria; }

    // Starts watching for arrivals and removals, then lists the attached devices.
    virtual bool open() = 0;
    bool isOpen() const { return m_open; }

    // The attached devices that meet the criteria; none when the manager is not open.
    std::optional<std::vector<HidDeviceRef>> copyDevices() const;

    // Arrivals that meet the criteria are reported once scheduled; null stops them.
    void registerDeviceMatchingCallback (HidDeviceCallback callback, void* context);
    void scheduleWithRunLoop() { m_scheduled = true; }

protected:
    HidManager() = default;

    void deviceAttached (const HidDeviceRef& device);
    void deviceDetached (const HidDeviceRef& device);
    const std::vector<HidDeviceRef>& attachedDevices() const { return m_devices; }

    bool m_open = false;

private:
    HidMatchingCriteria m_criteria;
    std::vector<HidDeviceRef> m_devices;
    HidDeviceCallback m_matchingCallback = nullptr;
    void* m_matchingContext = nullptr;
    bool m_scheduled = false;
};

// The two providers (HidPlatformVirtual.cpp, HidPlatformHidraw.cpp).
HidManagerRef createVirtualHidManager (const std::string& folder);
HidManagerRef createHidrawManager();
