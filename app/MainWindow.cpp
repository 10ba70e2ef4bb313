#include "app/MainWindow.h"

#include "app/MainComponent.h"
#include "app/NativeWindowHints.h"

MainWindow::MainWindow()
    : juce::DocumentWindow ("MARVEK NUBLA update program", juce::Colour (0xFFEAEAEAu), 0, false)
{
    // The window is put on the desktop only once it is fully set up: on X11 every change of
    // title bar or stacking of a window already on the desktop replaces its native window,
    // and the replacement is shown at once, before it has its place and size.
    setUsingNativeTitleBar (true);

    m_pMainComponent = new MainComponent();
    m_pMainComponent->setSize (CONTENT_WIDTH, CONTENT_HEIGHT);
    const int w = m_pMainComponent->getWidth();
    const int h = m_pMainComponent->getHeight();
    setContentOwned (m_pMainComponent, true);
    setResizable (false, false);
    const auto frame = getBorderThickness();
    centreWithSize (w + frame.getLeftAndRight(), getTitleBarHeight() + h + frame.getTopAndBottom());
    setAlwaysOnTop (true);

    addToDesktop (getDesktopWindowStyleFlags());
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

void MainWindow::closeButtonPressed()
{
    m_pMainComponent->WindowCloseRequested();
}
