#include "app/MainComponent.h"

#include "hid/HidCtrl.h"
#include "ui/AlineButton.h"
#include "ui/ProgressLookAndFeel.h"

MainComponent::MainComponent()
    : juce::Thread ("UpdatingThread")
{
    // The device list is built and the target looked for once; its arrival is watched
    // from now on. Whether it is attached now is read from the controller when needed.
    m_pHidCtrl = std::make_unique<HidCtrl>();
    m_pHidCtrl->initialize (this, 1);

    // Hosts of the macOS 10.6 family and older need a pause after every exchange; this
    // build never runs on one, so the flag stays false here.
    m_slowHost = false;
}

MainComponent::~MainComponent()
{
    // The worker has been stopped by whoever started the quit (StopWorker).
    jassert (! isThreadRunning());

    m_pLangBox.reset();
    m_pProgressBar.reset();
    m_pOkButton.reset();
    m_pCancelButton.reset();
    m_pProgressLookAndFeel.reset();

    if (m_pHidCtrl != nullptr)
        m_pHidCtrl->finalize();
    m_pHidCtrl.reset();
}

void MainComponent::StopWorker()
{
    m_responseEvent.signal();
    if (isThreadRunning())
        stopThread (RESPONSE_TIMEOUT);
}

void MainComponent::RequestRedraw()
{
    const juce::ScopedLock lock (m_drawLock);
    triggerAsyncUpdate();
}
