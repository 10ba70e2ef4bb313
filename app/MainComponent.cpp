#include "app/MainComponent.h"

#include "hid/HidCtrl.h"
#include "text/TxtLoader.h"
#include "ui/AlineButton.h"
#include "ui/ProgressLookAndFeel.h"

#include <algorithm>

MainComponent::MainComponent()
    : juce::Thread ("UpdatingThread")
{
    TxtLoader::createInstance();
    CreateScreen();

    // From here on device events may arrive: the device list is built, the target looked
    // for once, and its arrival watched.
    std::fill (std::begin (m_rspBuf), std::end (m_rspBuf), uint8_t { 0 });
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

    // The program's default look-and-feel is a member of this screen. Hand the default back
    // first, while every component still exists: the change reaches the window, which
    // lays out its content (this screen) once more.
    if (&juce::LookAndFeel::getDefaultLookAndFeel() == &m_langLookAndFeel)
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);

    m_pLangBox.reset();
    m_pProgressBar.reset();
    m_pOkButton.reset();
    m_pCancelButton.reset();
    m_pProgressLookAndFeel.reset();

    if (m_pHidCtrl != nullptr)
        m_pHidCtrl->finalize();
    m_pHidCtrl.reset();

    TxtLoader::releaseInstance();
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
