#include "hid/HidPlatform.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

void FdWatch::start (int fd, std::function<void()> onReady)
{
    stop();
    m_fd = fd;
    m_live = std::make_shared<bool> (true);
    // JUCE collects the ready callbacks of one poll round before calling them, so one of
    // them may stop another watch: the shared flag drops such a stale call.
    juce::LinuxEventLoop::registerFdCallback (fd, [live = m_live, onReady = std::move (onReady)] (int)
    {
        if (*live)
            onReady();
    });
}

void FdWatch::stop()
{
    if (m_fd < 0)
        return;
    *m_live = false;
    juce::LinuxEventLoop::unregisterFdCallback (m_fd);
    m_fd = -1;
    m_live.reset();
}

std::optional<uint32_t> HidDevice::getProperty (const std::string& key) const
{
    const auto it = m_properties.find (key);
    if (it == m_properties.end())
        return std::nullopt;
    return it->second;
}

void HidDevice::registerRemovalCallback (HidRemovalCallback callback, void* context)
{
    m_removalCallback = callback;
    m_removalContext = context;
}

void HidDevice::registerInputReportCallback (uint8_t* report, size_t reportSize,
                                             HidReportCallback callback, void* context)
{
    m_reportBuffer = report;
    m_reportSize = reportSize;
    m_reportCallback = callback;
    m_reportContext = context;
}

void HidDevice::deliverInputReport (const uint8_t* data, size_t length)
{
    if (m_reportCallback == nullptr || m_reportBuffer == nullptr)
        return;
    std::memcpy (m_reportBuffer, data, std::min (length, m_reportSize));
    m_reportCallback (m_reportContext, kHidSuccess, this, kHidReportTypeInput, 0,
                      m_reportBuffer, static_cast<long> (length));
}

void HidDevice::deliverRemoval()
{
    if (m_removed)
        return;
    m_removed = true;
    if (m_removalCallback != nullptr)
        m_removalCallback (m_removalContext, kHidSuccess, this);
}

bool deviceMeetsCriteria (const HidDevice& device, const HidMatchingCriteria& criteria)
{
    if (! criteria || criteria->empty())
        return true;
    return std::any_of (criteria->begin(), criteria->end(), [&] (const HidMatchingDictionary& dict)
    {
        return std::all_of (dict.begin(), dict.end(), [&] (const auto& entry)
        {
            const auto value = device.getProperty (entry.first);
            return value && static_cast<int32_t> (*value) == entry.second;
        });
    });
}

HidManagerRef HidManager::create()
{
    const char* folder = std::getenv ("NUBLA_VHID_DIR");
    if (folder != nullptr && *folder != '\0')
        return createVirtualHidManager (folder);
    return createHidrawManager();
}

std::optional<std::vector<HidDeviceRef>> HidManager::copyDevices() const
{
    if (! m_open)
        return std::nullopt;
    std::vector<HidDeviceRef> devices;
    for (const auto& device : m_devices)
        if (deviceMeetsCriteria (*device, m_criteria))
            devices.push_back (device);
    return devices;
}

void HidManager::registerDeviceMatchingCallback (HidDeviceCallback callback, void* context)
{
    m_matchingCallback = callback;
    m_matchingContext = context;
}

void HidManager::deviceAttached (const HidDeviceRef& device)
{
    m_devices.push_back (device);
    if (m_scheduled && m_matchingCallback != nullptr && deviceMeetsCriteria (*device, m_criteria))
        m_matchingCallback (m_matchingContext, kHidSuccess, this, device);
}

void HidManager::deviceDetached (const HidDeviceRef& device)
{
    const auto kept = device; // the caller's reference may be the one erased here
    m_devices.erase (std::remove (m_devices.begin(), m_devices.end(), kept), m_devices.end());
    kept->deliverRemoval();
}
