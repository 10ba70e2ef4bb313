#include "app/MainComponent.h"

#include "app/DeviceProtocol.h"
#include "hid/HidCtrl.h"
#include "ui/AlineButton.h"

#include <cstring>

using namespace devproto;

namespace
{
bool IsFileError (int32_t status)
{
    return status >= ERR_FILE_MISSING && status <= ERR_FILE_CRC;
}

// The statuses in which the firmware is being written to the device.
bool IsTransferring (int32_t status)
{
    return status >= STEP_BEGIN && status <= STEP_FINISH;
}
} // namespace

void MainComponent::buttonClicked (juce::Button* button)
{
    if (m_quitting)
        return;
    if (button == m_pOkButton.get())
        OkPressed();
    else if (button == m_pCancelButton.get())
        CancelPressed();
}

// OK starts the update, then confirms it, and at its end (or before anything was
// confirmed) quits.
void MainComponent::OkPressed()
{
    const int32_t status = m_updStatus.load();
    if (status == STEP_IDLE)
    {
        StartUpdate();
    }
    else if (status == STEP_READY)
    {
        m_confirmed = true;
        StoreStatus (STEP_BEGIN);
    }
    else if (! m_confirmed || (status == STEP_DONE && m_finished.load() == 1))
    {
        Quit();
    }
}

// Checks the update file and starts the worker when the device is attached.
void MainComponent::StartUpdate()
{
    // The worker is still checking the device: the file check must not run again while
    // it reads the areas, nor the response event be reset under its exchange.
    if (isThreadRunning())
        return;

    CheckUpdFile();
    if (! IsFileError (m_updStatus.load()))
    {
        if (m_pHidCtrl != nullptr && m_pHidCtrl->m_deviceConnected.load() != 0)
        {
            m_responseEvent.reset();
            startThread();
        }
        else
        {
            StoreStatus (ERR_NOT_CONNECTED);
        }
    }
    UpdateDrawing();
}

void MainComponent::CancelPressed()
{
    if (m_updStatus.load() != STEP_IDLE)
        SendCancel();
    Quit();
}

// Tells the device that the update is abandoned. The answer is not awaited: it would be
// delivered on this very thread, which is busy here, so waiting could only time out. The
// command is built apart from the worker's command buffer, which the worker may be using.
void MainComponent::SendCancel()
{
    if (threadShouldExit() || m_updStatus.load() == ERR_REMOVED || m_pHidCtrl == nullptr)
        return;
    unsigned char command[REPORT_SIZE] {};
    command[POS_TARGET] = TARGET_DEVICE;
    command[POS_CODE] = CMD_CANCEL;
    m_pHidCtrl->sendData (command, REPORT_SIZE);
}

// Ends the program: the worker is stopped before the application is asked to quit, which
// destroys this screen.
void MainComponent::Quit()
{
    m_quitting = true;
    {
        const juce::ScopedLock lock (m_rspLock);
        std::memset (m_rspBuf, 0, sizeof m_rspBuf);
    }
    StopWorker();
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}

void MainComponent::WindowCloseRequested()
{
    if (m_quitting || IsTransferring (m_updStatus.load()))
        return;
    Quit();
}

// The device was unplugged: an update under way ends with ERR_REMOVED, which nothing
// replaces; the worker is woken and stopped.
void MainComponent::removalCallBack()
{
    const int32_t status = m_updStatus.load();
    if (status < STEP_READY || status > STEP_FINISH)
        return;
    StoreStatus (ERR_REMOVED);
    wait (100); // gives the worker a moment to finish its step; a stop request ends it early
    m_responseEvent.signal();
    if (isThreadRunning())
        stopThread (RESPONSE_TIMEOUT);
    RequestRedraw();
}

// The device was plugged in: the controller has noted it, and the next OK press uses it.
void MainComponent::matchingCallBack()
{
}
