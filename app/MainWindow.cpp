#include "app/MainWindow.h"

#include "app/MainComponent.h"
#include "app/NativeWindowHints.h"

MainWindow::MainWindow()
    : juce::DocumentWindow ("MARVEK NUBLA update program", juce::Colour (0xFFEAEAEAu), 0, true)
{
    m_pMainComponent = new MainComponent();
    m_pMainComponent->setSize (CONTENT_WIDTH, CONTENT_HEIGHT);
    const int w = m_pMainComponent->getWidth();
    const int h = m_pMainComponent->getHeight();
    setContentOwned (m_pMainComponent, true);
    setResizable (false, false);
    // The native title bar is chosen before the window is sized, so the size is reckoned
    // with the frame the window really has and the content stays exactly 454 x 126.
    setUsingNativeTitleBar (true);
    const auto frame = getBorderThickness();
    centreWithSize (w + frame.getLeftAndRight(), getTitleBarHeight() + h + frame.getTopAndBottom());
    setAlwaysOnTop (true);
    setVisible (true);
    // The first paint re-applies the window's bounds, which drops the size limits: paint
    // now, then pin the size.
    if (auto* peer = getPeer())
        peer->performAnyPendingRepaintsNow();
    pinNativeWindowSize (*this);
}

MainWindow::~MainWindow()
{
    // Whatever ends the program, the worker stops before the screen it belongs to goes.
    m_pMainComponent->StopWorker();
}
