#include "hid/HidCtrl.h"

#include "hid/HidUtil.h"

#include <cstring>

HidCtrl::~HidCtrl()
{
    finalize();
}

bool HidCtrl::initialize (HidHandler* handler, int deviceType)
{
    // A second initialize would orphan the manager in use.
    if (m_pHidUtil != nullptr)
        return false;

    m_pHandler = handler;
    m_pHidUtil = new HidUtil();
    m_deviceConnected = 0;
    std::memset (m_inputData, 0, sizeof m_inputData);

    if (! m_pHidUtil->initialize (this, deviceType))
    {
        // Another manager is registered: this one never registered, so deleting it leaves
        // the registered instance, the device list and the platform manager as they are.
        m_pHandler = nullptr;
        delete m_pHidUtil;
        m_pHidUtil = nullptr;
        m_deviceConnected = 0;
        return false;
    }

    m_deviceConnected = m_pHidUtil->deviceMatching() ? 1 : 0;
    if (m_deviceConnected != 0)
        m_deviceVersion = m_pHidUtil->deviceVersion();
    return m_deviceConnected != 0;
}

void HidCtrl::finalize()
{
    m_pHandler = nullptr;
    if (m_pHidUtil == nullptr)
        return;
    m_pHidUtil->finalize();
    delete m_pHidUtil;
    m_pHidUtil = nullptr;
}

bool HidCtrl::sendData (unsigned char* data, unsigned long length)
{
    if (m_deviceConnected == 0 || m_pHidUtil == nullptr)
        return false;
    return m_pHidUtil->deviceOutput (data, length);
}

void HidCtrl::removalCallBack()
{
    m_inputLength = 0;
    std::memset (m_inputData, 0, sizeof m_inputData);
    m_deviceConnected = 0;
    m_deviceVersion = 0;
    if (m_pHandler != nullptr)
        m_pHandler->removalCallBack();
}

void HidCtrl::matchingCallBack()
{
    m_deviceConnected = 1;
    m_deviceVersion = m_pHidUtil->deviceVersion();
    m_inputLength = m_pHidUtil->deviceInput (m_inputData, kReportSize, 0);
    if (m_pHandler != nullptr)
        m_pHandler->matchingCallBack();
}

void HidCtrl::inputCallBack (int)
{
    unsigned char report[kReportSize];
    const long count = m_pHidUtil->deviceInput (report, kReportSize, 0);
    if (count <= 0)
        return;
    std::memcpy (m_inputData, report, static_cast<size_t> (count));
    m_inputLength = count;
    if (m_pHandler != nullptr)
        m_pHandler->inputCallBack (0);
}
