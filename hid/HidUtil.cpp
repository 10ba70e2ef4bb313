#include "hid/HidUtil.h"

#include "hid/HidList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

HidUtil* HidUtil::m_pinstance = nullptr;
const int32_t HidUtil::HidDeviceType[2] = { 0x0000, 0x0025 };

HidUtil::HidUtil()
    : m_pReportBuffer (new unsigned char[kReportSize]())
{
}

HidUtil::~HidUtil()
{
    // An instance that never registered (a failed initialize) leaves the registered one,
    // the list and the manager alone.
    if (m_pinstance == this)
        finalize();
    if (m_pinstance == nullptr)
        gIOHIDManagerRef.reset();
}

bool HidUtil::initialize (HidHandler* handler, int deviceType)
{
    if (m_pinstance != nullptr)
        return false;
    m_pinstance = this;
    m_pHandler = handler;
    m_deviceType = deviceType;
    HIDBuildDeviceList (0, 0);
    return true;
}

void HidUtil::finalize()
{
    releaseDevice();
    if (m_pinstance != this)
        return;
    HIDReleaseDeviceList();
    if (gIOHIDManagerRef != nullptr)
        gIOHIDManagerRef->registerDeviceMatchingCallback (nullptr, nullptr);
    m_pinstance = nullptr;
    m_pHandler = nullptr;
}

bool HidUtil::deviceMatching()
{
    if (m_pDevice != nullptr)
        return true;

    bool found = false;
    for (auto device = HIDGetFirstDevice(); device != nullptr && ! found; device = HIDGetNextDevice (device))
        found = marvekqx51Matching (device);

    // Without a manager there is nothing to watch: the program runs without a device.
    if (! m_matchingScheduled && gIOHIDManagerRef != nullptr)
    {
        m_matchingScheduled = true;
        gIOHIDManagerRef->registerDeviceMatchingCallback (Handle_DeviceMatchingCallback, m_pinstance);
        gIOHIDManagerRef->scheduleWithRunLoop();
    }
    return found;
}

int32_t HidUtil::deviceVersion()
{
    if (m_pDevice == nullptr)
        return 0;
    const auto v = IOHIDDevice_GetVersionNumber (m_pDevice);
    return static_cast<int32_t> ((v / 0x1000) * 1000 + ((v % 0x1000) / 0x100) * 100
                                 + ((v % 0x100) / 0x10) * 10 + (v % 0x10));
}

long HidUtil::deviceInput (unsigned char* data, unsigned long length, int)
{
    if (data == nullptr || length == 0)
    {
        std::fprintf (stderr, "deviceInput failed. pdata:%p length:%ld\r\n", static_cast<void*> (data),
                      static_cast<long> (length));
        return 0;
    }
    if (m_pDevice == nullptr)
    {
        std::fprintf (stderr, "deviceInput failed. m_pDevice:%p\r\n", static_cast<void*> (nullptr));
        return 0;
    }
    const auto count = std::min<unsigned long> (m_reportLength, length);
    std::memcpy (data, m_pReportBuffer.get(), count);
    return static_cast<long> (count);
}

bool HidUtil::deviceOutput (unsigned char* data, unsigned long length)
{
    if (data == nullptr || length == 0)
        return false;
    const std::lock_guard<std::mutex> lock (m_deviceLock);
    return m_pDevice != nullptr && m_pDevice->setOutputReport (data, length);
}

bool HidUtil::marvekqx51Matching (const HidDeviceRef& device)
{
    if (m_pDevice != nullptr || device == nullptr)
        return false;
    if (IOHIDDevice_GetVendorID (device) != kVendorId)
        return false;
    if (m_deviceType < 0 || m_deviceType > 1 || IOHIDDevice_GetProductID (device) != HidDeviceType[m_deviceType])
        return false;

    std::memset (m_pReportBuffer.get(), 0, kReportSize);
    m_reportLength = 0;
    device->registerRemovalCallback (Handle_IOHIDDeviceRemovalCallback, this);
    device->registerInputReportCallback (m_pReportBuffer.get(), kReportSize, Handle_IOHIDDeviceIOHIDReportCallback, nullptr);
    if (! device->scheduleWithRunLoop())
    {
        // Gone already, or the system refuses to open it: run as without a device.
        device->registerRemovalCallback (nullptr, nullptr);
        device->registerInputReportCallback (m_pReportBuffer.get(), kReportSize, nullptr, nullptr);
        return false;
    }
    const std::lock_guard<std::mutex> lock (m_deviceLock);
    m_pDevice = device;
    return true;
}

void HidUtil::releaseDevice()
{
    HidDeviceRef device;
    {
        const std::lock_guard<std::mutex> lock (m_deviceLock); // waits for a running send
        device = std::move (m_pDevice);
        m_pDevice = nullptr;
    }
    if (device == nullptr)
        return;
    device->registerRemovalCallback (nullptr, nullptr);
    device->registerInputReportCallback (m_pReportBuffer.get(), kReportSize, nullptr, nullptr);
    device->unscheduleFromRunLoop();
    std::memset (m_pReportBuffer.get(), 0, kReportSize);
    m_reportLength = 0;
}

void HidUtil::Handle_DeviceMatchingCallback (void* context, int, void*, const HidDeviceRef& device)
{
    auto* self = static_cast<HidUtil*> (context);
    if (self != nullptr && self->marvekqx51Matching (device) && self->m_pHandler != nullptr)
        self->m_pHandler->matchingCallBack();
}

void HidUtil::Handle_IOHIDDeviceRemovalCallback (void* context, int, void* sender)
{
    auto* self = static_cast<HidUtil*> (context);
    if (self == nullptr || sender == nullptr || self->m_pDevice == nullptr || sender != self->m_pDevice.get())
        return;
    self->releaseDevice();
    if (self->m_pHandler != nullptr)
        self->m_pHandler->removalCallBack();
}

void HidUtil::Handle_IOHIDDeviceIOHIDReportCallback (void*, int, void*, int, uint32_t, uint8_t*, long reportLength)
{
    auto* self = m_pinstance;
    if (self == nullptr)
        return;
    self->m_reportLength = static_cast<uint32_t> (std::clamp<long> (reportLength, 0, kReportSize));
    if (self->m_pReportBuffer[0] < kFirstAcceptedByte)
        return;
    if (self->m_pHandler != nullptr)
        self->m_pHandler->inputCallBack (0);
}
