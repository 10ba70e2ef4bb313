#include "app/MainWindow.h"

#include "app/MainComponent.h"

MainWindow::MainWindow()
    : juce::DocumentWindow ("MARVEK NUBLA update program", juce::Colour (0xFFEAEAEAu), 0, true)
{
    m_pMainComponent = new MainComponent();
    m_pMainComponent->setSize (CONTENT_WIDTH, CONTENT_HEIGHT);
    setContentOwned (m_pMainComponent, true);
    setResizable (false, false);
    const int w = m_pMainComponent->getWidth();
    const int h = m_pMainComponent->getHeight();
    centreWithSize (w + 2, getTitleBarHeight() + h + 2);
    setAlwaysOnTop (true);
    setUsingNativeTitleBar (true);
    setVisible (true);
}

MainWindow::~MainWindow()
{
    // Whatever ends the program, the worker stops before the screen it belongs to goes.
    m_pMainComponent->StopWorker();
}
