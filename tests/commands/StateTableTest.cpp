// The reactions to the OK and Cancel presses and to the device's removal in each status,
// on a MainComponent with a virtual device attached (no window, no worker unless started).
#include "app/DeviceProtocol.h"
#include "support/MainComponentProbe.h"
#include "support/MessageLoop.h"
#include "support/VirtualDevice.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testsupport;

namespace
{
enum class Event { Ok, Cancel, Removal };

struct Case
{
    const char* name;
    int32_t status;
    bool confirmed;
    int32_t finished;
    Event event;
    int32_t expectedStatus;
    bool expectQuit;
    bool expectCancelSent;
};

void PrintTo (const Case& c, std::ostream* os) { *os << c.name; }

class StateTable : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        device = std::make_unique<VirtualDevice> (folder.path(), "dev0", VirtualDevice::Identity {});
        ASSERT_TRUE (device->plug());
        mc = std::make_unique<MainComponent>();
        probe = std::make_unique<MainComponentProbe> (*mc);
        ASSERT_TRUE (runUntil ([&] { return probe->hidCtrl()->m_deviceConnected.load() == 1; }));
    }

    void TearDown() override
    {
        if (mc != nullptr)
            mc->StopWorker();
    }

    VhidFolder folder;
    std::unique_ptr<VirtualDevice> device;
    std::unique_ptr<MainComponent> mc;
    std::unique_ptr<MainComponentProbe> probe;
};

constexpr int32_t E21 = ERR_NOT_CONNECTED, E37 = ERR_REMOVED, E36 = ERR_NO_RESPONSE, E03 = ERR_FILE_SIZE;

const Case cases[] = {
    // OK: confirm at READY; quit when nothing was confirmed, or at DONE once finished.
    { "OkAtReadyConfirms",              STEP_READY,  false, 0, Event::Ok, STEP_BEGIN, false, false },
    { "OkDuringTransferIsIgnored",      STEP_DATA,   true,  0, Event::Ok, STEP_DATA,  false, false },
    { "OkAtFinishIsIgnored",            STEP_FINISH, true,  0, Event::Ok, STEP_FINISH, false, false },
    { "OkAtDoneQuits",                  STEP_DONE,   true,  1, Event::Ok, STEP_DONE,  true,  false },
    { "OkAtDoneNotFinishedIsIgnored",   STEP_DONE,   true,  0, Event::Ok, STEP_DONE,  false, false },
    { "OkAtErrorUnconfirmedQuits",      E36,         false, 0, Event::Ok, E36,        true,  false },
    { "OkAtErrorConfirmedIsIgnored",    E36,         true,  0, Event::Ok, E36,        false, false },
    { "OkAtFileErrorQuits",             E03,         false, 0, Event::Ok, E03,        true,  false },
    { "OkAtRemovedConfirmedIsIgnored",  E37,         true,  0, Event::Ok, E37,        false, false },
    // Cancel: quit; outside IDLE the device is told first, unless it was removed.
    { "CancelAtIdleQuitsSilently",      STEP_IDLE,   false, 0, Event::Cancel, STEP_IDLE, true, false },
    { "CancelAtReadySendsCancel",       STEP_READY,  false, 0, Event::Cancel, STEP_READY, true, true },
    { "CancelDuringTransferSendsCancel", STEP_SUM,   true,  0, Event::Cancel, STEP_SUM,  true, true },
    { "CancelAtNotConnectedSendsCancel", E21,        false, 0, Event::Cancel, E21,       true, true },
    { "CancelAtRemovedQuitsSilently",   E37,         true,  0, Event::Cancel, E37,       true, false },
    // Removal: ERR_REMOVED in 1 to 7 only.
    { "RemovalAtIdleIsIgnored",         STEP_IDLE,   false, 0, Event::Removal, STEP_IDLE, false, false },
    { "RemovalAtReadyStoresE37",        STEP_READY,  false, 0, Event::Removal, E37,       false, false },
    { "RemovalAtPollStoresE37",         STEP_POLL,   true,  0, Event::Removal, E37,       false, false },
    { "RemovalAtFinishStoresE37",       STEP_FINISH, true,  0, Event::Removal, E37,       false, false },
    { "RemovalAtDoneIsIgnored",         STEP_DONE,   true,  1, Event::Removal, STEP_DONE, false, false },
    { "RemovalAtErrorIsIgnored",        E36,         true,  0, Event::Removal, E36,       false, false },
};
} // namespace

TEST_P (StateTable, Reaction)
{
    const auto& c = GetParam();
    ASSERT_TRUE (probe->storeStatus (c.status));
    probe->confirmed() = c.confirmed;
    probe->finished() = c.finished;

    switch (c.event)
    {
        case Event::Ok:     mc->buttonClicked (probe->okButton()); break;
        case Event::Cancel: mc->buttonClicked (probe->cancelButton()); break;
        case Event::Removal:
            device->unplug();
            ASSERT_TRUE (runUntil ([&] { return probe->hidCtrl()->m_deviceConnected.load() == 0; }));
            break;
    }

    EXPECT_EQ (probe->status().load(), c.expectedStatus) << std::hex << probe->status().load();
    EXPECT_EQ (probe->quitting(), c.expectQuit);
    EXPECT_FALSE (mc->isThreadRunning());
    if (c.event == Event::Ok && c.status == STEP_READY)
    {
        EXPECT_TRUE (probe->confirmed().load());
    }

    if (c.event != Event::Removal)
    {
        const auto report = device->readOutput (c.expectCancelSent ? 2000 : 200);
        ASSERT_EQ (report.has_value(), c.expectCancelSent);
        if (report)
        {
            std::vector<uint8_t> expected (64, 0);
            expected[0] = devproto::TARGET_DEVICE;
            expected[1] = devproto::CMD_CANCEL;
            EXPECT_EQ (*report, expected);
        }
    }
}

std::string CaseName (const ::testing::TestParamInfo<Case>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P (Presses, StateTable, ::testing::ValuesIn (cases), CaseName);

TEST_F (StateTable, OkAtIdleWithNoFileGivesE01AndNoWorker)
{
    mc->buttonClicked (probe->okButton()); // the test program's folder holds no update file
    EXPECT_EQ (probe->status().load(), ERR_FILE_MISSING);
    EXPECT_FALSE (mc->isThreadRunning());
    EXPECT_FALSE (device->readOutput (200).has_value());
}

TEST_F (StateTable, CancelDoesNotWaitForTheAnswer)
{
    ASSERT_TRUE (probe->storeStatus (STEP_READY));
    const auto start = juce::Time::getMillisecondCounterHiRes();
    mc->buttonClicked (probe->cancelButton());
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 1000.0);
    EXPECT_TRUE (device->readOutput (2000).has_value());
}

TEST_F (StateTable, PressesAfterQuitAreIgnored)
{
    ASSERT_TRUE (probe->storeStatus (STEP_READY));
    mc->buttonClicked (probe->cancelButton());
    ASSERT_TRUE (probe->quitting());
    mc->buttonClicked (probe->okButton());
    EXPECT_EQ (probe->status().load(), STEP_READY) << "OK confirmed after the quit";
}
