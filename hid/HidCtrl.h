#pragma once

#include "hid/HidHandler.h"

#include <atomic>
#include <cstdint>

class HidUtil;

// The one object through which the program talks to the device (placeholder until the
// HID layer lands: no device is ever present).
class HidCtrl : public HidHandler
{
public:
    HidCtrl() = default;
    ~HidCtrl() override;

    bool initialize (HidHandler* handler, int deviceType);
    void finalize();
    bool sendData (unsigned char* data, unsigned long length);

    void removalCallBack() override;
    void matchingCallBack() override;
    void inputCallBack (int) override;

    HidHandler* m_pHandler = nullptr;
    HidUtil* m_pHidUtil = nullptr;
    std::atomic<int32_t> m_deviceConnected { 0 };
    int32_t m_deviceVersion = 0;
    unsigned char m_inputData[64] {};
    int64_t m_inputLength = 0;
};
