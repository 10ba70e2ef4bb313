// Runs the real program under the test's X display and checks its window from outside.
#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "support/X11Probe.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

using testsupport::ChildProcess;
using testsupport::X11Probe;
using Window = testsupport::XWindowId;

namespace
{
bool contains (const std::vector<std::string>& list, const std::string& item)
{
    return std::find (list.begin(), list.end(), item) != list.end();
}

class ProgramWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (std::getenv ("DISPLAY") == nullptr)
            GTEST_SKIP() << "no X display (run the tests through test.sh, which starts Xvfb)";
        ASSERT_TRUE (x.isOpen()) << "cannot open the X display";
        ASSERT_TRUE (home.file().isDirectory());
        ASSERT_TRUE (home.child ("vhid").createDirectory());
        env = { { "HOME", home.path() },
                { "NUBLA_VHID_DIR", home.child ("vhid").getFullPathName().toStdString() } };
        x.internWindowManagerAtoms();
    }

    Window startProgram (ChildProcess& program)
    {
        EXPECT_TRUE (program.start (NUBLA_APP_PATH, {}, env));
        const auto window = x.waitForWindowOf (program.pid(), 10000);
        EXPECT_TRUE (window.has_value()) << "the program showed no window";
        return window.value_or (0);
    }

    // Polls condition until it holds, for up to 5 s: the window is set up asynchronously.
    static bool waitFor (const std::function<bool()>& condition)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds (5);
        while (! condition())
        {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for (std::chrono::milliseconds (20));
        }
        return true;
    }

    X11Probe x;
    testsupport::TempFolder home;
    std::map<std::string, std::string> env;
};
} // namespace

TEST_F (ProgramWindow, HasTheFixedSizeStateAndBackground)
{
    ChildProcess program;
    const Window w = startProgram (program);
    ASSERT_NE (w, 0u);

    const auto size = x.size (w);
    EXPECT_EQ (size.width, 454);
    EXPECT_EQ (size.height, 126);

    // Not resizable: the size hints pin the minimum and maximum to the content size.
    std::optional<testsupport::SizeLimits> limits;
    waitFor ([&] { return (limits = x.sizeLimits (w)).has_value(); });
    ASSERT_TRUE (limits.has_value()) << "no minimum and maximum size hints";
    EXPECT_EQ (limits->minWidth, 454);
    EXPECT_EQ (limits->maxWidth, 454);
    EXPECT_EQ (limits->minHeight, 126);
    EXPECT_EQ (limits->maxHeight, 126);

    EXPECT_TRUE (waitFor ([&] { return contains (x.atomListProperty (w, "_NET_WM_STATE"), "_NET_WM_STATE_ABOVE"); }));

    // No close, minimise, maximise or resize offered to the window manager.
    const auto actions = x.atomListProperty (w, "_NET_WM_ALLOWED_ACTIONS");
    for (const char* action : { "_NET_WM_ACTION_CLOSE", "_NET_WM_ACTION_MINIMIZE",
                                "_NET_WM_ACTION_FULLSCREEN", "_NET_WM_ACTION_RESIZE" })
        EXPECT_FALSE (contains (actions, action)) << action;
    const auto motif = x.cardinalProperty (w, "_MOTIF_WM_HINTS", "_MOTIF_WM_HINTS");
    ASSERT_GE (motif.size(), 2u);
    EXPECT_EQ (motif[1] & (2 | 8 | 0x10 | 32), 0) << "resize, minimise, maximise or close allowed";

    // The bottom-left corner shows the plain background 0xEAEAEA.
    EXPECT_TRUE (waitFor ([&] { return x.pixelAt (w, 3, 122) == 0xEAEAEA; })) << std::hex << x.pixelAt (w, 3, 122);
}

TEST_F (ProgramWindow, SecondStartHandsOverToTheRunningOne)
{
    ChildProcess first;
    const Window w = startProgram (first);
    ASSERT_NE (w, 0u);
    x.watchRootClientMessages();

    ChildProcess second;
    ASSERT_TRUE (second.start (NUBLA_APP_PATH, {}, env));
    const auto exitCode = second.waitForExit (10000);
    ASSERT_TRUE (exitCode.has_value()) << "the second start did not end by itself";
    EXPECT_EQ (*exitCode, 0);

    // The running program was told: it asks for its window to be brought to the front.
    EXPECT_TRUE (x.waitForClientMessage ("_NET_ACTIVE_WINDOW", w, 5000));
    EXPECT_TRUE (first.isRunning());
    EXPECT_EQ (x.windowsOf (first.pid()).size(), 1u);
    EXPECT_TRUE (x.windowsOf (second.pid()).empty());
}
