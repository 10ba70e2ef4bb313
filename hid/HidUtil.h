#pragma once

#include "hid/HidHandler.h"
#include "hid/HidPlatform.h"

#include <cstdint>
#include <memory>
#include <mutex>

// Finds the target device among the HID devices, holds it, receives its input reports
// and its removal, notices its arrival, and sends output reports to it. One instance is
// registered at a time. Everything but deviceOutput runs on the message thread.
class HidUtil
{
public:
    HidUtil();
    virtual ~HidUtil();
    HidUtil (const HidUtil&) = delete;
    HidUtil& operator= (const HidUtil&) = delete;

    // Registers this instance and lists the HID devices; false when another is registered.
    bool initialize (HidHandler* handler, int deviceType);
    // Releases the held device, the list and the arrival notification; unregisters.
    void finalize();
    // Takes the attached target device with the lowest location id, if any, and from
    // then on watches for arrivals. Returns whether a device is held.
    bool deviceMatching();
    // The held device's release number read as decimal digits (0x0102 gives 102).
    int32_t deviceVersion();
    // Copies the last input report (at most length bytes); returns the count.
    long deviceInput (unsigned char* data, unsigned long length, int);
    // Sends one output report. Any thread; exclusive with the release of the device.
    bool deviceOutput (unsigned char* data, unsigned long length);
    // Takes device if it is the target and none is held.
    bool marvekqx51Matching (const HidDeviceRef& device);

    static void Handle_DeviceMatchingCallback (void* context, int result, void* sender, const HidDeviceRef& device);
    static void Handle_IOHIDDeviceRemovalCallback (void* context, int result, void* sender);
    static void Handle_IOHIDDeviceIOHIDReportCallback (void* context, int result, void* sender, int type,
                                                       uint32_t reportID, uint8_t* report, long reportLength);

    static constexpr uint32_t kVendorId = 0xE47A;
    static constexpr int kReportSize = 64;
    static constexpr uint8_t kFirstAcceptedByte = 0xF0;

    static HidUtil* m_pinstance;
    static const int32_t HidDeviceType[2];

    HidHandler* m_pHandler = nullptr;
    int32_t m_deviceType = 0;
    HidDeviceRef m_pDevice; // written under m_deviceLock, on the message thread
    std::unique_ptr<unsigned char[]> m_pReportBuffer;
    uint32_t m_reportLength = 0;
    bool m_matchingScheduled = false;

private:
    void releaseDevice();

    // Held by a send for its whole length and by the release, so a send never reaches a
    // device that has been released (nor a descriptor number reused meanwhile).
    std::mutex m_deviceLock;
};
