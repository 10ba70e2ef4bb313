#pragma once

#include "hid/HidHandler.h"

#include <atomic>
#include <cstdint>

class HidUtil;

// The one object through which the program talks to the device: owns the device manager,
// says whether the target device is attached, keeps the last accepted input report,
// sends output reports and forwards the device's events to its handler.
class HidCtrl : public HidHandler
{
public:
    HidCtrl() = default;
    ~HidCtrl() override;
    HidCtrl (const HidCtrl&) = delete;
    HidCtrl& operator= (const HidCtrl&) = delete;

    // Connects to the platform and looks for the device once; true when it is present.
    // False, changing nothing, when this controller or another is initialized already.
    bool initialize (HidHandler* handler, int deviceType);
    // Disconnects from the platform and deletes the manager; safe to call again.
    void finalize();
    // Sends one output report; true when the platform accepted it. Any thread.
    bool sendData (unsigned char* data, unsigned long length);

    void removalCallBack() override;
    void matchingCallBack() override;
    void inputCallBack (int) override;

    static constexpr int kReportSize = 64;

    HidHandler* m_pHandler = nullptr;
    HidUtil* m_pHidUtil = nullptr;
    std::atomic<int32_t> m_deviceConnected { 0 }; // read by the worker through sendData
    int32_t m_deviceVersion = 0;
    unsigned char m_inputData[kReportSize] {};
    int64_t m_inputLength = 0;
};
