#include "app/MainComponent.h"

#include "app/DeviceProtocol.h"
#include "hid/HidCtrl.h"

#include <algorithm>
#include <cstring>

using namespace devproto;

void MainComponent::FillCommand (uint8_t target, uint8_t code, const uint8_t* params, int count)
{
    const juce::ScopedLock lock (m_cmdLock);
    std::memset (m_cmdBuf, 0, sizeof m_cmdBuf);
    m_cmdBuf[POS_TARGET] = target;
    m_cmdBuf[POS_CODE] = code;
    if (params != nullptr && count > 0)
        std::memcpy (m_cmdBuf + POS_PARAM, params, static_cast<size_t> (std::min (count, DATA_PER_REPORT)));
}

std::array<uint8_t, MainComponent::REPORT_SIZE> MainComponent::Response() const
{
    std::array<uint8_t, REPORT_SIZE> copy;
    const juce::ScopedLock lock (m_rspLock);
    std::memcpy (copy.data(), m_rspBuf, copy.size());
    return copy;
}

void MainComponent::CheckAnswer (uint8_t sentTarget)
{
    const auto answer = Response();
    if (answer[POS_TARGET] != sentTarget || (answer[POS_CODE] == RSP_NG && answer[POS_PARAM] == NG_PROTOCOL))
        StoreStatus (ERR_PROTOCOL);
}

// One exchange: sends m_cmdBuf and waits for the answer. False only when a command went
// out and no answer came in time; nothing is sent once the worker was asked to stop or
// the device was removed.
bool MainComponent::SendDataAndWaitResponse()
{
    bool answered = true;
    if (! threadShouldExit() && m_updStatus.load() != ERR_REMOVED)
    {
        unsigned char command[REPORT_SIZE];
        {
            const juce::ScopedLock lock (m_cmdLock);
            std::memcpy (command, m_cmdBuf, sizeof command);
        }
        if (m_pHidCtrl != nullptr)
            m_pHidCtrl->sendData (command, REPORT_SIZE);

        answered = m_responseEvent.wait (RESPONSE_TIMEOUT);
        if (answered)
        {
            m_responseEvent.reset();
            CheckAnswer (command[POS_TARGET]);
        }
    }
    if (m_slowHost)
        juce::Thread::sleep (6);
    return answered;
}

std::optional<std::array<uint8_t, MainComponent::REPORT_SIZE>> MainComponent::Exchange()
{
    if (! SendDataAndWaitResponse())
    {
        StoreStatus (ERR_NO_RESPONSE);
        return std::nullopt;
    }
    return Response();
}

// An input report arrived (message thread): keep it for the exchange and wake the worker.
void MainComponent::inputCallBack (int)
{
    if (m_pHidCtrl == nullptr)
        return;
    auto& hid = *m_pHidCtrl;
    const auto length = static_cast<size_t> (std::clamp<int64_t> (hid.m_inputLength, 0, REPORT_SIZE));
    if (length == 0)
        return;
    {
        const juce::ScopedLock lock (m_rspLock);
        std::memcpy (m_rspBuf, hid.m_inputData, length);
    }
    std::memset (hid.m_inputData, 0, sizeof hid.m_inputData);
    if (isThreadRunning())
        m_responseEvent.signal();
}
