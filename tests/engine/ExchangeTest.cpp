// The exchange and the input callback without a device: answers are put into the
// controller's receive buffer by hand, as the HID layer would.

#include "app/DeviceProtocol.h"
#include "hid/HidCtrl.h"
#include "support/MainComponentProbe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace
{
class ExchangeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // An empty folder of virtual devices: no device, and no system device either.
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("nubla-exchange", "");
        ASSERT_TRUE (folder.createDirectory());
        ::setenv ("NUBLA_VHID_DIR", folder.getFullPathName().toRawUTF8(), 1);
        component = std::make_unique<MainComponent>();
        ASSERT_NE (probe().hidCtrl(), nullptr);
    }

    void TearDown() override
    {
        component.reset();
        folder.deleteRecursively();
    }

    MainComponentProbe probe() { return MainComponentProbe (*component); }

    // The HID layer's part: a received report in the controller, then the callback.
    void receive (std::vector<uint8_t> report)
    {
        auto* hid = probe().hidCtrl();
        std::memcpy (hid->m_inputData, report.data(), std::min<size_t> (report.size(), 64));
        hid->m_inputLength = static_cast<int64_t> (report.size());
        component->inputCallBack (0);
    }

    void fillCommand (uint8_t target, uint8_t code)
    {
        std::memset (probe().cmdBuf(), 0, 64);
        probe().cmdBuf()[0] = target;
        probe().cmdBuf()[1] = code;
    }

    juce::File folder;
    std::unique_ptr<MainComponent> component;
};
} // namespace

// A short report overwrites only its own bytes; the controller's buffer is cleared.
TEST_F (ExchangeTest, InputCallbackCopiesOnlyTheReceivedBytes)
{
    std::memset (probe().rspBuf(), 0x55, 64);
    receive ({ 0xF2, 0x80, 1, 2, 3, 4, 5, 6, 7, 8 });
    const auto* rsp = probe().rspBuf();
    EXPECT_EQ (rsp[0], 0xF2);
    EXPECT_EQ (rsp[9], 8);
    EXPECT_EQ (rsp[10], 0x55);
    EXPECT_EQ (rsp[63], 0x55);
    const auto* input = probe().hidCtrl()->m_inputData;
    EXPECT_TRUE (std::all_of (input, input + 64, [] (uint8_t b) { return b == 0; }));
    EXPECT_EQ (probe().hidCtrl()->m_inputLength, 10);
}

TEST_F (ExchangeTest, InputCallbackCapsTheLengthAt64AndIgnoresEmptyReports)
{
    std::memset (probe().rspBuf(), 0x55, 64);
    auto* hid = probe().hidCtrl();
    std::memset (hid->m_inputData, 0x11, 64);
    hid->m_inputLength = 4096;
    component->inputCallBack (0);
    EXPECT_EQ (probe().rspBuf()[63], 0x11);

    std::memset (hid->m_inputData, 0x22, 64);
    hid->m_inputLength = 0;
    component->inputCallBack (0);
    EXPECT_EQ (probe().rspBuf()[0], 0x11);
    EXPECT_EQ (hid->m_inputData[0], 0x22) << "an empty report clears nothing";
}

// While the worker is not running an answer is kept but does not signal the event.
TEST_F (ExchangeTest, AnswerWithoutARunningWorkerDoesNotSignal)
{
    receive ({ 0xF0, 0x80 });
    EXPECT_EQ (probe().rspBuf()[1], 0x80);
    EXPECT_FALSE (probe().responseEvent().wait (0));
}

// A signal left over from an earlier report ends the next wait at once, and the answer
// in the response buffer is judged: the echo and reason 5 store ERR_PROTOCOL, the
// exchange returns true either way.
TEST_F (ExchangeTest, JudgesTheEchoAndReason5)
{
    struct Case
    {
        uint8_t sentTarget;
        std::vector<uint8_t> answer;
        int32_t status;
    };
    const Case cases[] = {
        { 0xF0, { 0xF0, 0x80 }, STEP_IDLE },
        { 0xF1, { 0xF0, 0x80 }, ERR_PROTOCOL },     // wrong echo
        { 0xF2, { 0xF2, 0x81, 5 }, ERR_PROTOCOL },  // refusal with reason 5
        { 0xF2, { 0xF2, 0x81, 4 }, STEP_IDLE },     // other reasons are the step's business
        { 0xF7, { 0xF7, 0x85 }, STEP_IDLE },
    };
    for (const auto& c : cases)
    {
        probe().storeStatus (STEP_IDLE);
        receive (c.answer);
        probe().responseEvent().signal();
        fillCommand (c.sentTarget, 0x05);
        const auto before = juce::Time::getMillisecondCounterHiRes();
        EXPECT_TRUE (component->SendDataAndWaitResponse());
        EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - before, 1000.0);
        EXPECT_EQ (probe().status().load(), c.status) << std::hex << int (c.sentTarget) << " " << int (c.answer[1]);
        EXPECT_FALSE (probe().responseEvent().wait (0)) << "the answer's signal was consumed";
    }
}

// With ERR_REMOVED in place nothing is sent and the exchange returns true at once, and
// no answer replaces the status.
TEST_F (ExchangeTest, SendsNothingOnceTheDeviceWasRemoved)
{
    ASSERT_TRUE (probe().storeStatus (ERR_REMOVED));
    receive ({ 0xF5, 0x81, 5 });
    fillCommand (0xF0, 0x00);
    const auto before = juce::Time::getMillisecondCounterHiRes();
    EXPECT_TRUE (component->SendDataAndWaitResponse());
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - before, 100.0);
    EXPECT_EQ (probe().status().load(), ERR_REMOVED);
}
