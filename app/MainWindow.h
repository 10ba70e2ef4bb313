#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class MainComponent;

// The program's one window; it owns the screen as its content.
class MainWindow : public juce::DocumentWindow
{
public:
    MainWindow();
    ~MainWindow() override;

    // The window manager's close (the window itself offers no close button).
    void closeButtonPressed() override;

    static constexpr int CONTENT_WIDTH = 454;
    static constexpr int CONTENT_HEIGHT = 126;

private:
    MainComponent* m_pMainComponent = nullptr; // owned by the window as its content

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
};
