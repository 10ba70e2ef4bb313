// The real program (its test build) under the test's X display, driven with real mouse
// clicks against nubla-devsim: the screen it reports, the reports the device received,
// and how the program ends.
#include "app/UpdStatus.h"
#include "support/ProgramDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>

using testsupport::ProgramDriver;
using testsupport::ScreenState;

namespace
{
constexpr int UPDATE_TIMEOUT_MS = 90000;

bool isTransfer (const ScreenState& s) { return s.status >= STEP_AREA && s.status <= STEP_FINISH; }

class UpdateProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (std::getenv ("DISPLAY") == nullptr)
            GTEST_SKIP() << "no X display (run the tests through test.sh, which starts Xvfb)";
        ASSERT_TRUE (d.x.isOpen()) << "cannot open the X display";
    }

    void TearDown() override
    {
        if (! HasFailure())
            return;
        juce::StringArray lines;
        d.reportFile.readLines (lines);
        lines.removeEmptyStrings();
        std::cerr << "-- last screen reports:\n";
        for (int i = std::max (0, lines.size() - 6); i < lines.size(); ++i)
            std::cerr << lines[i] << "\n";
        std::cerr << "-- program output:\n" << d.folder.child ("program.log").loadFileAsString() << "\n";
    }

    // Waits for the idle screen of a freshly started program, drawn in its window.
    ScreenState idleScreen()
    {
        auto idle = d.waitForScreen ([] (const ScreenState& s) {
            return s.status == STEP_IDLE && s.ok.visible && s.title == "Updater Program";
        });
        EXPECT_TRUE (idle.has_value()) << "no idle screen";
        return idle.value_or (ScreenState {});
    }

    bool exitsWithin (int ms, int expectedCode = 0)
    {
        const auto code = d.program.waitForExit (ms);
        return code.has_value() && *code == expectedCode;
    }

    ProgramDriver d;
};
} // namespace

TEST_F (UpdateProgram, WholeUpdateFromFirstPressToDone)
{
    ASSERT_TRUE (d.writeUpdateFile ("1.05", 0x20180214));
    ASSERT_TRUE (d.startDevice ({ "--fw-date", "20170530", "--fw-version", "1.02", "--busy", "1",
                                  "--verify", d.updateFile.getFullPathName().toStdString() }));
    ASSERT_TRUE (d.startProgram());

    ASSERT_TRUE (d.click (idleScreen().ok));

    const auto ready = d.waitForStatus (STEP_READY);
    ASSERT_TRUE (ready.has_value()) << "no ready screen";
    EXPECT_NE (ready->text.find ("1.02"), std::string::npos) << ready->text;
    EXPECT_NE (ready->text.find ("1.05"), std::string::npos) << ready->text;
    EXPECT_EQ (ready->ok.caption, "Start");
    ASSERT_TRUE (d.click (ready->ok));

    const auto transfer = d.waitForScreen ([] (const ScreenState& s) { return isTransfer (s) && s.progress > 0; });
    ASSERT_TRUE (transfer.has_value()) << "no transfer screen with progress";
    EXPECT_TRUE (transfer->bar.visible);
    EXPECT_FALSE (transfer->ok.visible);
    EXPECT_FALSE (transfer->cancel.visible);

    const auto done = d.waitForStatus (STEP_DONE, UPDATE_TIMEOUT_MS);
    ASSERT_TRUE (done.has_value()) << "the update did not complete";
    EXPECT_DOUBLE_EQ (done->progress, 1.0);
    ASSERT_TRUE (d.click (done->ok));
    EXPECT_TRUE (exitsWithin (5000, 0));

    EXPECT_EQ (d.devsim.stop(), 0);
    auto summary = d.devsim.summary();
    EXPECT_EQ (summary["verify"], "ok 1966080 bytes");
    EXPECT_EQ (summary["violations"], "0");
    const auto log = d.devsim.log();
    ASSERT_FALSE (log.empty());
    EXPECT_EQ (log.back().substr (0, 5), "F0 06") << "the completion report comes last";

    const auto shown = d.statusesShown();
    for (int32_t status : { 0, 1, 8 })
        EXPECT_NE (std::find (shown.begin(), shown.end(), status), shown.end()) << "status " << status << " never shown";
}

TEST_F (UpdateProgram, NoUpdateFileShowsE01AndSendsNothing)
{
    ASSERT_TRUE (d.startDevice ({}));
    ASSERT_TRUE (d.startProgram());
    ASSERT_TRUE (d.click (idleScreen().ok));

    const auto error = d.waitForStatus (ERR_FILE_MISSING);
    ASSERT_TRUE (error.has_value());
    EXPECT_NE (error->text.find ("0x0E01"), std::string::npos) << error->text;
    EXPECT_FALSE (error->ok.visible);
    EXPECT_EQ (d.devsim.logFile().getSize(), 0) << "the OK press sent a report";

    // Close tells the attached device that nothing will come, without waiting for it.
    ASSERT_TRUE (d.click (error->cancel));
    EXPECT_TRUE (exitsWithin (1000, 0));
    d.devsim.stop();
    const auto log = d.devsim.log();
    ASSERT_EQ (log.size(), 1u);
    EXPECT_NE (log[0].find ("F0 09 00"), std::string::npos) << log[0];
}

TEST_F (UpdateProgram, NoDeviceShowsE21)
{
    ASSERT_TRUE (d.writeUpdateFile());
    ASSERT_TRUE (d.startProgram());
    ASSERT_TRUE (d.click (idleScreen().ok));

    const auto error = d.waitForStatus (ERR_NOT_CONNECTED);
    ASSERT_TRUE (error.has_value());
    EXPECT_EQ (error->text, "Your MARVEK NUBLA is not connected.\n\nError ID:\t0x0E21");
    ASSERT_TRUE (d.click (error->cancel));
    // No device: the cancel command has nowhere to go, and the program does not wait for it.
    EXPECT_TRUE (exitsWithin (1000, 0));
}

TEST_F (UpdateProgram, CancelAtIdleQuitsAtOnceAndSendsNothing)
{
    ASSERT_TRUE (d.writeUpdateFile());
    ASSERT_TRUE (d.startDevice ({}));
    ASSERT_TRUE (d.startProgram());
    ASSERT_TRUE (d.click (idleScreen().cancel));
    EXPECT_TRUE (exitsWithin (1000, 0));
    d.devsim.stop();
    EXPECT_TRUE (d.devsim.log().empty()) << "a report was sent";
}

TEST_F (UpdateProgram, CloseAtReadySendsOneCancelAndQuitsWithinASecond)
{
    ASSERT_TRUE (d.writeUpdateFile());
    ASSERT_TRUE (d.startDevice ({}));
    ASSERT_TRUE (d.startProgram());
    ASSERT_TRUE (d.click (idleScreen().ok));
    const auto ready = d.waitForStatus (STEP_READY);
    ASSERT_TRUE (ready.has_value());
    EXPECT_EQ (ready->cancel.caption, "Close");

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE (d.click (ready->cancel));
    EXPECT_TRUE (exitsWithin (3000, 0));
    EXPECT_LT (std::chrono::steady_clock::now() - start, std::chrono::seconds (1));

    d.devsim.stop();
    const auto log = d.devsim.log();
    ASSERT_EQ (log.size(), 3u) << "mode query, version query, cancel";
    std::string cancel = "F0 09";
    for (int i = 2; i < 64; ++i)
        cancel += " 00";
    EXPECT_EQ (log[2], cancel);
}

TEST_F (UpdateProgram, UnplugDuringTransferShowsE37AndCloseQuits)
{
    ASSERT_TRUE (d.writeUpdateFile());
    ASSERT_TRUE (d.startDevice ({ "--fault", "data:3000:unplug" }));
    ASSERT_TRUE (d.startProgram());
    ASSERT_TRUE (d.click (idleScreen().ok));
    const auto ready = d.waitForStatus (STEP_READY);
    ASSERT_TRUE (ready.has_value());
    ASSERT_TRUE (d.click (ready->ok));

    const auto removed = d.waitForStatus (ERR_REMOVED, 30000);
    ASSERT_TRUE (removed.has_value()) << "0xE37 never shown";
    EXPECT_NE (removed->text.find ("0x0E37"), std::string::npos) << removed->text;
    EXPECT_FALSE (removed->ok.visible);
    ASSERT_TRUE (removed->cancel.visible);
    // The status stays: nothing replaces it afterwards.
    EXPECT_FALSE (d.waitForScreen ([] (const ScreenState& s) { return s.status != ERR_REMOVED; }, 500).has_value());
    ASSERT_TRUE (d.click (removed->cancel));
    EXPECT_TRUE (exitsWithin (1000, 0));
}

TEST_F (UpdateProgram, DevicePluggedInAfterStartIsUsed)
{
    ASSERT_TRUE (d.writeUpdateFile());
    ASSERT_TRUE (d.startProgram());
    const auto idle = idleScreen();
    ASSERT_TRUE (d.startDevice ({}));
    // The program notices a new device within 250 ms of its socket appearing; the press
    // comes after twice that.
    const auto end = juce::Time::getMillisecondCounter() + 5000;
    while (! d.devsim.socketFile().exists() && juce::Time::getMillisecondCounter() < end)
        juce::Thread::sleep (5);
    ASSERT_TRUE (d.devsim.socketFile().exists());
    juce::Thread::sleep (500);
    ASSERT_TRUE (d.click (idle.ok));
    const auto ready = d.waitForStatus (STEP_READY);
    ASSERT_TRUE (ready.has_value()) << "the device plugged in after the start was not used";
    ASSERT_TRUE (d.click (ready->cancel));
    EXPECT_TRUE (exitsWithin (3000, 0));
}

TEST_F (UpdateProgram, WindowManagerCloseIsIgnoredDuringTheTransfer)
{
    ASSERT_TRUE (d.writeUpdateFile());
    ASSERT_TRUE (d.startDevice ({ "--busy", "5" }));
    ASSERT_TRUE (d.startProgram());
    ASSERT_TRUE (d.click (idleScreen().ok));
    const auto ready = d.waitForStatus (STEP_READY);
    ASSERT_TRUE (ready.has_value());
    ASSERT_TRUE (d.click (ready->ok));
    ASSERT_TRUE (d.waitForScreen (isTransfer).has_value());

    ASSERT_TRUE (d.closeWindow());
    EXPECT_FALSE (d.program.waitForExit (1000).has_value()) << "the program quit in the middle of the transfer";
    EXPECT_TRUE (d.program.isRunning());
}

TEST_F (UpdateProgram, WindowManagerCloseAtReadyQuits)
{
    ASSERT_TRUE (d.writeUpdateFile());
    ASSERT_TRUE (d.startDevice ({}));
    ASSERT_TRUE (d.startProgram());
    ASSERT_TRUE (d.click (idleScreen().ok));
    ASSERT_TRUE (d.waitForStatus (STEP_READY).has_value());
    ASSERT_TRUE (d.closeWindow());
    EXPECT_TRUE (exitsWithin (3000, 0));
}
