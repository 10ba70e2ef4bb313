#pragma once

#include "support/ChildProcess.h"
#include "support/DevSim.h"
#include "support/TempFolder.h"
#include "support/X11Probe.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport
{
// One control of the screen as the program's test build reports it.
struct ControlState
{
    bool visible = false;
    std::string caption;
    int x = 0, y = 0, width = 0, height = 0;
    bool focused = false;
};

// One redraw of the screen, as reported by the program's test build.
struct ScreenState
{
    int32_t status = -1;
    ControlState ok, cancel, bar;
    double progress = 0;
    std::string title, text;
};

std::optional<ScreenState> parseScreenReport (const std::string& line);

// Drives the real program (its test build) under the test's X display: its own copy of the
// program in a folder of its own (where it looks for its update file), a folder of virtual
// devices, nubla-devsim, clicks with xdotool, and the screen as the program reports it.
class ProgramDriver
{
public:
    ProgramDriver();

    // A valid update file beside the program's copy.
    bool writeUpdateFile (const juce::String& version = "1.05", uint32_t dateWord = 0x20180214);
    bool startDevice (const std::vector<std::string>& args);
    bool startProgram();

    // Waits until the screen's last report satisfies condition; the last state seen.
    std::optional<ScreenState> waitForScreen (const std::function<bool (const ScreenState&)>& condition,
                                              int timeoutMs = 10000);
    std::optional<ScreenState> waitForStatus (int32_t status, int timeoutMs = 10000);
    std::optional<ScreenState> lastScreen();
    // Every status the screen showed, in order, without repeats.
    std::vector<int32_t> statusesShown();

    // Clicks the middle of a control with the mouse, as a user would.
    bool click (const ControlState& control);
    // The window manager's close: WM_DELETE_WINDOW sent to the window.
    bool closeWindow();

    TempFolder folder;
    juce::File appFolder, vhidFolder, reportFile, flashFile, updateFile;
    DevSim devsim;
    ChildProcess program;
    X11Probe x;
    XWindowId window = 0;
};
} // namespace testsupport
