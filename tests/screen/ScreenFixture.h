#pragma once

#include "support/MainComponentProbe.h"
#include "support/MessageLoop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace screentest
{
// A window holding the screen as its content at exactly 454 x 126, with the program
// window's first title.
class HostWindow : public juce::DocumentWindow
{
public:
    HostWindow() : juce::DocumentWindow ("MARVEK NUBLA update program", juce::Colour (0xFFEAEAEAu), 0, true)
    {
        m_screen = new MainComponent();
        m_screen->setSize (454, 126);
        setContentOwned (m_screen, true);
        setVisible (true);
    }
    ~HostWindow() override { m_screen->StopWorker(); }

private:
    MainComponent* m_screen;
};

// The program's own window with its screen, on the test's X display, with no device
// reachable: the virtual-device folder is an empty temporary one.
class ScreenFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isEmpty())
            GTEST_SKIP() << "no X display (run under xvfb-run)";
        ::setenv ("NUBLA_VHID_DIR", m_deviceFolder.getFile().getFullPathName().toRawUTF8(), 1);
        m_deviceFolder.getFile().createDirectory();
        openWindow();
    }

    void TearDown() override { m_window.reset(); }

    // A fresh window; waits for the first redraw that the language box's change posts.
    void openWindow()
    {
        m_window.reset();
        m_window = std::make_unique<HostWindow>();
        m_screen = dynamic_cast<MainComponent*> (m_window->getContentComponent());
        ASSERT_NE (m_screen, nullptr);
        m_probe = std::make_unique<MainComponentProbe> (*m_screen);
        ASSERT_TRUE (testsupport::runUntil ([this] { return m_window->getName() == "Updater Program"; }));
    }

    // Stores a status as the engine does and redraws as the worker's request does.
    void showStatus (int32_t status)
    {
        ASSERT_TRUE (m_probe->storeStatus (status));
        m_screen->handleAsyncUpdate();
    }

    // Shows the statuses a real update passes through on its way to status, then status.
    void showStepsUpTo (int32_t status)
    {
        if (status >= STEP_READY && status <= STEP_DONE)
            for (int32_t step = STEP_READY; step < status; ++step)
                showStatus (step);
        showStatus (status);
    }

    // The screen's text as its glyphs spell it.
    juce::String glyphText() const
    {
        juce::String text;
        auto& glyphs = m_probe->glyphs();
        for (int i = 0; i < glyphs.getNumGlyphs(); ++i)
            text += glyphs.getGlyph (i).getCharacter();
        return text;
    }

    juce::Image snapshot() { return m_screen->createComponentSnapshot (m_screen->getLocalBounds(), true, 1.0f); }

    juce::TemporaryFile m_deviceFolder;
    std::unique_ptr<HostWindow> m_window;
    MainComponent* m_screen = nullptr;
    std::unique_ptr<MainComponentProbe> m_probe;
};
} // namespace screentest
