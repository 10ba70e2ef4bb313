#include "HidTestHelpers.h"

#include "support/MainComponentProbe.h"

#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace
{
std::vector<uint8_t> outputReport (uint8_t first)
{
    std::vector<uint8_t> bytes (64);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t> (first + i);
    return bytes;
}

bool send (HidCtrl& ctrl, std::vector<uint8_t> bytes)
{
    return ctrl.sendData (bytes.data(), bytes.size());
}
} // namespace

class HidCtrlTest : public VirtualHidTest
{
protected:
    void TearDown() override { EXPECT_FALSE (handler.offMessageThread) << "every event on the message thread"; }

    RecordingHandler handler;
};

TEST_F (HidCtrlTest, TakesTheMatchingDeviceWithTheLowestLocation)
{
    auto& later = plug ("later", target (0x14200000, 0x0200));
    auto& lowest = plug ("lowest", target (0x14100000, 0x0102));
    auto& otherProduct = plug ("other-product", { 0xE47A, 0x0026, 0x0300, 0x00100000 });
    auto& otherVendor = plug ("other-vendor", { 0x1234, 0x0025, 0x0400, 0x00000001 });
    HidCtrl ctrl;

    EXPECT_TRUE (ctrl.initialize (&handler, 1));
    EXPECT_EQ (ctrl.m_deviceConnected, 1);
    EXPECT_EQ (ctrl.m_deviceVersion, 102);

    const auto sent = outputReport (0xF1);
    ASSERT_TRUE (send (ctrl, sent));
    EXPECT_EQ (lowest.readOutput (2000), sent) << "exactly the 64 bytes, no report id in front";
    for (auto* other : { &later, &otherProduct, &otherVendor })
        EXPECT_EQ (other->readOutput (50), std::nullopt);
    EXPECT_EQ (handler.matches, 0) << "a device present at start is no arrival";
}

TEST_F (HidCtrlTest, SendBeforeAnyDeviceFailsAndOtherProductsAreNeverTaken)
{
    plug ("other", { 0xE47A, 0x0026, 0x0102, 0x100 });
    HidCtrl ctrl;
    EXPECT_FALSE (ctrl.initialize (&handler, 1));
    EXPECT_FALSE (send (ctrl, outputReport (0)));

    auto& lateOther = plug ("late-other", { 0xE47A, 0x0001, 0x0102, 0x50 });
    ASSERT_TRUE (testsupport::runUntil ([&] { return lateOther.isConnected(); })) << "the host connects to every device";
    testsupport::runFor (100);
    EXPECT_EQ (handler.matches, 0);
    EXPECT_EQ (ctrl.m_deviceConnected, 0);
}

TEST_F (HidCtrlTest, ArrivalCallsMatchingOnceWithin250Ms)
{
    HidCtrl ctrl;
    EXPECT_FALSE (ctrl.initialize (&handler, 1));

    auto& device = plug ("dev0", target (0x14100000, 0x1234));
    const auto plugged = std::chrono::steady_clock::now();
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.matches > 0; }, 2000));
    const auto noticedMs = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - plugged).count();
    testsupport::runFor (100);

    EXPECT_EQ (handler.matches, 1);
    EXPECT_LT (noticedMs, 250);
    EXPECT_EQ (ctrl.m_deviceConnected, 1);
    EXPECT_EQ (ctrl.m_deviceVersion, 1234);
    EXPECT_EQ (ctrl.m_inputLength, 0) << "nothing is held right after a match";
    ASSERT_TRUE (send (ctrl, outputReport (0xF7)));
    EXPECT_EQ (device.readOutput (2000), outputReport (0xF7));
}

TEST_F (HidCtrlTest, InputIsPassedOnOnlyFromFirstByteF0)
{
    auto& device = plug ("dev0", target (0x100));
    HidCtrl ctrl;
    ASSERT_TRUE (ctrl.initialize (&handler, 1));

    struct Case { uint8_t first; bool passedOn; };
    const Case cases[] = { { 0xEF, false }, { 0x00, false }, { 0xF0, true }, { 0xFF, true } };
    for (const auto& c : cases)
    {
        const int before = handler.inputs;
        ASSERT_TRUE (device.sendInput (report ({ c.first, 0x55 }, 64)));
        ASSERT_TRUE (device.sendInput (report ({ 0xF5, 0xAA }, 64))) << "a marker that is always passed on";
        ASSERT_TRUE (testsupport::runUntil ([&] { return ctrl.m_inputData[0] == 0xF5; }));
        EXPECT_EQ (handler.inputs - before, c.passedOn ? 2 : 1) << std::hex << int (c.first);
        std::fill (std::begin (ctrl.m_inputData), std::end (ctrl.m_inputData), 0);
    }
    for (const int arg : handler.inputArgs)
        EXPECT_EQ (arg, 0);
}

TEST_F (HidCtrlTest, LongReportIsRecordedAs64AndShortOneReplacesOnlyItsBytes)
{
    auto& device = plug ("dev0", target (0x100));
    HidCtrl ctrl;
    ASSERT_TRUE (ctrl.initialize (&handler, 1));

    std::vector<uint8_t> longReport (70);
    for (size_t i = 0; i < longReport.size(); ++i)
        longReport[i] = static_cast<uint8_t> (0xF0 + i);
    ASSERT_TRUE (device.sendInput (longReport));
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.inputs == 1; }));
    EXPECT_EQ (ctrl.m_inputLength, 64);
    EXPECT_TRUE (std::equal (longReport.begin(), longReport.begin() + 64, ctrl.m_inputData));

    const std::vector<uint8_t> shortReport (10, 0xF3);
    ASSERT_TRUE (device.sendInput (shortReport));
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.inputs == 2; }));
    EXPECT_EQ (ctrl.m_inputLength, 10);
    EXPECT_TRUE (std::equal (shortReport.begin(), shortReport.end(), ctrl.m_inputData));
    EXPECT_TRUE (std::equal (longReport.begin() + 10, longReport.begin() + 64, ctrl.m_inputData + 10))
        << "bytes 10 to 63 keep the previous report";
}

TEST_F (HidCtrlTest, UnplugCallsRemovalOnceThenReplugIsANewArrival)
{
    auto& device = plug ("dev0", target (0x100));
    HidCtrl ctrl;
    ASSERT_TRUE (ctrl.initialize (&handler, 1));
    ASSERT_TRUE (device.sendInput (report ({ 0xF1 }, 64)));
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.inputs == 1; }));

    device.unplug();
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.removals > 0; }));
    testsupport::runFor (100);
    EXPECT_EQ (handler.removals, 1);
    EXPECT_EQ (ctrl.m_deviceConnected, 0);
    EXPECT_EQ (ctrl.m_deviceVersion, 0);
    EXPECT_EQ (ctrl.m_inputLength, 0);
    EXPECT_EQ (ctrl.m_inputData[0], 0);
    EXPECT_FALSE (send (ctrl, outputReport (0)));
    EXPECT_FALSE (ctrl.m_pHidUtil->deviceOutput (outputReport (0).data(), 64)) << "no device held";

    ASSERT_TRUE (device.plug());
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.matches == 1; }));
    EXPECT_TRUE (send (ctrl, outputReport (0xF2)));
    EXPECT_EQ (device.readOutput (2000), outputReport (0xF2));
}

TEST_F (HidCtrlTest, QuickReplugIsSeenAsRemovalThenArrival)
{
    auto& device = plug ("dev0", target (0x100));
    HidCtrl ctrl;
    ASSERT_TRUE (ctrl.initialize (&handler, 1));

    device.unplug();
    ASSERT_TRUE (device.plug()); // before the message loop has seen the hang-up
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.matches == 1; }));
    EXPECT_EQ (handler.removals, 1);
    EXPECT_EQ (ctrl.m_deviceConnected, 1);
}

TEST_F (HidCtrlTest, SecondInitializeFailsAndLeavesTheFirstIntact)
{
    auto& device = plug ("dev0", target (0x100));
    HidCtrl first;
    ASSERT_TRUE (first.initialize (&handler, 1));
    auto* registered = HidUtil::m_pinstance;
    auto* manager = gIOHIDManagerRef.get();

    {
        RecordingHandler otherHandler;
        HidCtrl second;
        EXPECT_FALSE (second.initialize (&otherHandler, 1));
        EXPECT_EQ (second.m_pHidUtil, nullptr);
        EXPECT_EQ (second.m_pHandler, nullptr);
        EXPECT_EQ (second.m_deviceConnected, 0);
        EXPECT_FALSE (send (second, outputReport (0)));
    }
    EXPECT_FALSE (first.initialize (&handler, 1)) << "the same controller again";

    EXPECT_EQ (HidUtil::m_pinstance, registered);
    EXPECT_EQ (first.m_pHidUtil, registered);
    EXPECT_EQ (gIOHIDManagerRef.get(), manager);
    ASSERT_NE (gDeviceCFArrayRef, nullptr);
    EXPECT_EQ (gDeviceCFArrayRef->size(), 1u);
    ASSERT_TRUE (send (first, outputReport (0xF1)));
    EXPECT_EQ (device.readOutput (2000), outputReport (0xF1));
    ASSERT_TRUE (device.sendInput (report ({ 0xF1 }, 64)));
    EXPECT_TRUE (testsupport::runUntil ([&] { return handler.inputs == 1; }));
}

TEST_F (HidCtrlTest, FinalizeTwiceIsSafeAndAllowsANewController)
{
    auto& device = plug ("dev0", target (0x100));
    {
        HidCtrl ctrl;
        ASSERT_TRUE (ctrl.initialize (&handler, 1));
        ctrl.finalize();
        EXPECT_EQ (ctrl.m_pHidUtil, nullptr);
        EXPECT_EQ (ctrl.m_pHandler, nullptr);
        ctrl.finalize();
        EXPECT_FALSE (send (ctrl, outputReport (0)));
        EXPECT_EQ (HidUtil::m_pinstance, nullptr);
        EXPECT_EQ (gDeviceCFArrayRef, nullptr);
        EXPECT_EQ (gIOHIDManagerRef, nullptr) << "released with the last manager instance";

        // No event reaches a finalized controller.
        device.sendInput (report ({ 0xF1 }, 64)); // the host may have hung up already
        testsupport::runFor (100);
        EXPECT_EQ (handler.inputs, 0);
    }
    HidCtrl again;
    EXPECT_TRUE (again.initialize (&handler, 1));
    ASSERT_TRUE (send (again, outputReport (0xF4)));
    EXPECT_EQ (device.readOutput (2000), outputReport (0xF4));
}

// A send on the worker thread racing the removal on the message thread never writes to
// the released device's descriptor, nor to a file that got its number afterwards.
TEST_F (HidCtrlTest, SendRacingRemovalNeverUsesAReleasedDevice)
{
    auto& device = plug ("dev0", target (0x100));
    HidCtrl ctrl;
    ASSERT_TRUE (ctrl.initialize (&handler, 1));
    HidUtil* util = ctrl.m_pHidUtil;

    std::atomic<bool> stop { false };
    std::atomic<bool> removed { false };
    std::atomic<int> acceptedAfterRemoval { 0 };
    std::thread worker ([&]
    {
        auto bytes = outputReport (0xF1);
        while (! stop)
        {
            const bool wasRemoved = removed.load();
            // Straight to the manager, past the controller's connected flag.
            if (util->deviceOutput (bytes.data(), bytes.size()) && wasRemoved)
                ++acceptedAfterRemoval;
            ctrl.sendData (bytes.data(), bytes.size());
        }
    });

    for (int i = 0; i < 20; ++i) // let some sends through first
        device.readOutput (100);
    device.unplug();
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.removals == 1; }));
    removed = true;

    int reused[2];
    ASSERT_EQ (::pipe2 (reused, O_NONBLOCK | O_CLOEXEC), 0); // likely takes the freed number
    std::this_thread::sleep_for (std::chrono::milliseconds (50));
    stop = true;
    worker.join();

    char byte;
    EXPECT_EQ (::read (reused[0], &byte, 1), -1) << "nothing was written to the reused descriptor";
    ::close (reused[0]);
    ::close (reused[1]);
    EXPECT_EQ (acceptedAfterRemoval, 0);
    EXPECT_EQ (handler.removals, 1);
}

TEST_F (HidCtrlTest, MainComponentTakesTheDeviceAtConstruction)
{
    plug ("dev0", target (0x100, 0x0307));
    MainComponent mc;
    MainComponentProbe probe (mc);
    ASSERT_NE (probe.hidCtrl(), nullptr);
    EXPECT_EQ (probe.hidCtrl()->m_deviceConnected, 1);
    EXPECT_EQ (probe.hidCtrl()->m_deviceVersion, 307);
    EXPECT_EQ (probe.hidCtrl()->m_pHandler, &mc);
}
