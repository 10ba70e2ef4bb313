#pragma once

#include "app/InstanceChannel.h"
#include "app/MainWindow.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class Application : public juce::JUCEApplication
{
public:
    Application() = default;
    ~Application() override = default;

    const juce::String getApplicationName() override { return "MARVEKNUBLAUpdateProgram"; }
    const juce::String getApplicationVersion() override { return "1.0.0"; }
    bool moreThanOneInstanceAllowed() override { return false; }
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;

private:
    std::unique_ptr<MainWindow> m_pMainWindow;
    std::unique_ptr<InstanceChannel> m_pInstanceChannel;
    bool m_initialised = false;
};
