#include "support/MainComponentProbe.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST (UpdateModel, FreshComponentStartsIdleWithEmptyAreas)
{
    MainComponent mc;
    MainComponentProbe p (mc);

    EXPECT_EQ (p.status().load(), STEP_IDLE);
    EXPECT_EQ (p.progress().load(), 0.0);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ (p.kind (i).status.load(), KIND_NONE) << "area " << i;
        EXPECT_EQ (p.kind (i).size.load(), 0) << "area " << i;
        EXPECT_EQ (p.kind (i).offset, 0);
        EXPECT_EQ (p.kind (i).address, 0);
        EXPECT_EQ (p.kind (i).target, 0);
        EXPECT_EQ (p.kind (i).file, juce::File());
    }
    EXPECT_EQ (p.totalSize(), 0);
    EXPECT_EQ (p.fileState(), 0);
    EXPECT_EQ (p.fileDate(), 0u);
    EXPECT_EQ (p.devDate(), 0u);
    EXPECT_TRUE (p.fileVersion().isEmpty());
    EXPECT_TRUE (p.devVersion().isEmpty());
    EXPECT_EQ (p.curKind().load(), 0);
    EXPECT_EQ (p.chunkSum().load(), 0);
    EXPECT_FALSE (p.area0Begun().load());
    EXPECT_FALSE (p.confirmed().load());
    EXPECT_EQ (p.finished().load(), 0);
    EXPECT_FALSE (p.slowHost());
    for (int i = 0; i < MainComponent::REPORT_SIZE; ++i)
        ASSERT_EQ (p.rspBuf()[i], 0) << "byte " << i;
    EXPECT_EQ (mc.getThreadName(), "UpdatingThread");
    EXPECT_FALSE (mc.isThreadRunning());
}

TEST (UpdateModel, ErrorRangeEnds)
{
    struct Case { int32_t status; bool isError; };
    const Case cases[] = {
        { STEP_IDLE, false },        { STEP_DONE, false },
        { ERR_FILE_MISSING, true },  { ERR_PROTOCOL, true },
        { ERR_REMOVED, true },       { 0xE00, false },
        { 0xE42, false },            { -1, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ (IsErrorStatus (c.status), c.isError) << std::hex << c.status;
}

TEST (UpdateModel, RemovedIsKeptAgainstEveryLaterStore)
{
    MainComponent mc;
    MainComponentProbe p (mc);

    EXPECT_TRUE (p.storeStatus (STEP_POLL));
    EXPECT_TRUE (p.storeStatus (ERR_REMOVED));
    for (int32_t later : { 0, 3, 8, 0xE36, 0xE41, 0xE01 })
    {
        EXPECT_FALSE (p.storeStatus (later)) << std::hex << later;
        EXPECT_EQ (p.status().load(), ERR_REMOVED);
    }
}

TEST (UpdateModel, RemovedSurvivesRacingStores)
{
    // Two threads hammer the status with steps while a third stores ERR_REMOVED once;
    // whatever the interleaving, ERR_REMOVED is what remains.
    for (int round = 0; round < 50; ++round)
    {
        StatusWord word;
        std::atomic<bool> go { false };
        auto writer = [&] (int32_t base) {
            while (! go.load()) {}
            for (int i = 0; i < 2000; ++i)
                word.store (base + (i % 4));
        };
        std::thread a (writer, STEP_AREA), b (writer, STEP_BEGIN);
        std::thread remover ([&] { while (! go.load()) {} word.store (ERR_REMOVED); });
        go = true;
        a.join();
        b.join();
        remover.join();
        ASSERT_EQ (word.load(), ERR_REMOVED) << "round " << round;
    }
}
