// The update engine end to end against nubla-devsim: the device check, the worker's
// steps, the exact byte stream, the device's faults and the error IDs they give.

#include "app/DeviceProtocol.h"
#include "support/EngineHarness.h"
#include "support/MessageLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace testsupport;
using namespace devproto;

namespace
{
constexpr int64_t AREA1_SMALL = 124; // area 1 as one chunk of two data reports

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
#ifndef NUBLA_DEVSIM_PATH
        GTEST_SKIP() << "nubla-devsim is not built";
#endif
        ASSERT_TRUE (h.writeUpdateFile());
    }

    // Starts the device with args and runs the update to its end. With small set, the
    // device carries the file's build date and area 1 is cut to AREA1_SMALL bytes at
    // STEP_READY, so the update is short.
    void runUpdate (std::vector<std::string> args, bool small, int timeoutMs = 60000)
    {
        if (small) // first, so a case's own --fw-date wins
            args.insert (args.begin(), { "--fw-date", EngineHarness::FILE_DATE_TEXT });
        ASSERT_TRUE (h.startDevice (args));
        ASSERT_TRUE (h.connect());
        ASSERT_TRUE (h.start());
        if (h.runUntilStatus (STEP_READY))
        {
            if (small)
                h.shrinkArea1 (AREA1_SMALL);
            h.confirm();
        }
        ASSERT_TRUE (h.runUntilEnded (timeoutMs));
    }

    bool sawStatus (int32_t status) const
    {
        return std::find (h.seen.begin(), h.seen.end(), status) != h.seen.end();
    }

    // Ends the device; its log then is complete.
    std::vector<LoggedReport> stopAndReadLog()
    {
        deviceExit = h.stopDevice();
        summary = h.devsim.summary();
        return parseLog (h.devsim.log());
    }

    static int count (const std::vector<LoggedReport>& log, uint8_t code)
    {
        return static_cast<int> (std::count_if (log.begin(), log.end(), [code] (const LoggedReport& r) { return r.code == code; }));
    }

    EngineHarness h;
    int deviceExit = -1;
    std::map<std::string, std::string> summary;
};

std::string Line (std::initializer_list<uint8_t> head)
{
    std::vector<uint8_t> bytes (head);
    bytes.resize (REPORT_SIZE, 0);
    return hexLine (bytes);
}
} // namespace

TEST_F (EngineTest, FullUpdateWithDifferingDatesWritesAllThreeAreas)
{
    ASSERT_TRUE (h.startDevice ({ "--fw-date", "20170530", "--fw-version", "1.02" }));
    ASSERT_TRUE (h.connect());
    ASSERT_TRUE (h.start());
    ASSERT_TRUE (h.runUntilStatus (STEP_READY));
    auto probe = h.probe();
    EXPECT_EQ (probe.devDate(), 0x20170530u);
    EXPECT_EQ (probe.devVersion(), "1.02");
    EXPECT_EQ (probe.totalSize(), 0x1E0000);
    for (int area = 0; area < 3; ++area)
        EXPECT_EQ (probe.kind (area).status.load(), KIND_WRITE) << area;

    // Progress never falls, stays at 0.9 or below during the data, and is 1.0 at the end.
    double last = 0, highestBeforeFinish = 0;
    bool fell = false;
    h.watch = [&] {
        const double now = probe.progress();
        fell = fell || now < last;
        last = now;
        if (h.status() < STEP_FINISH)
            highestBeforeFinish = std::max (highestBeforeFinish, now);
    };
    h.confirm();
    ASSERT_TRUE (h.runUntilEnded (120000));

    EXPECT_EQ (h.status(), STEP_DONE);
    EXPECT_EQ (probe.progress().load(), 1.0);
    EXPECT_EQ (probe.finished().load(), 1);
    EXPECT_TRUE (probe.area0Begun().load());
    EXPECT_FALSE (fell);
    EXPECT_LE (highestBeforeFinish, 0.9);
    EXPECT_GT (highestBeforeFinish, 0.85);

    const auto log = stopAndReadLog();
    EXPECT_EQ (deviceExit, 0);
    EXPECT_EQ (summary["violations"], "0");
    EXPECT_EQ (summary["written"], "0x000000-0x1E0000");
    EXPECT_EQ (summary["verify"], "ok 1966080 bytes");
    EXPECT_EQ (summary["finish_accepted"], "1");
    EXPECT_EQ (summary["complete"], "1");

    ASSERT_GT (log.size(), 3u);
    EXPECT_EQ (hexLine (log[0].bytes), Line ({ 0xF0, 0x00 }));
    EXPECT_EQ (hexLine (log[1].bytes), Line ({ 0xF0, 0x01 }));
    EXPECT_EQ (hexLine (log[2].bytes), Line ({ 0xF1, 0x08, 0x00, 0x00, 0x1D, 0x00, 0xFF, 0x00, 0x00, 0x01, 0x00 }));
    EXPECT_EQ (hexLine (log.back().bytes), Line ({ 0xF0, 0x06 }));
    EXPECT_EQ (log[log.size() - 2].code, CMD_FINISH);

    // Area 0: five chunks, the last of 0x10000; area 1: ten of 0x20000; area 2: one.
    const auto chunks = chunksOf (log);
    ASSERT_EQ (chunks.size(), 16u);
    for (size_t i = 0; i < chunks.size(); ++i)
    {
        const auto& c = chunks[i];
        const uint8_t target = i < 5 ? 0xF1 : i < 15 ? 0xF2 : 0xF7;
        const uint32_t address = i < 5 ? static_cast<uint32_t> (i) * 0x20000
                               : i < 15 ? 0x90000 + static_cast<uint32_t> (i - 5) * 0x20000 : 0x1D0000;
        const uint32_t length = (i == 4 || i == 15) ? 0x10000 : 0x20000;
        EXPECT_EQ (c.target, target) << i;
        EXPECT_EQ (c.address, address) << i;
        EXPECT_EQ (c.length, length) << i;
        EXPECT_EQ (c.fullDataReports, length == 0x20000 ? 2114 : 1057) << i;
        EXPECT_EQ (c.lastSize, length == 0x20000 ? 4 : 2) << i;
        EXPECT_EQ (c.dataAfterLastSize, 1) << i;
        EXPECT_EQ (c.sums, 1) << i;
        EXPECT_EQ (c.polls, 1) << i;
    }

    // Area 1's third chunk is announced as F2 02 00 00 0D 00 FF 00 00 02 00.
    const auto third = std::find_if (log.begin(), log.end(), [] (const LoggedReport& r) {
        return r.code == CMD_CHUNK && r.target == 0xF2 && GetLE32 (r.bytes.data() + 2) == 0xD0000;
    });
    ASSERT_NE (third, log.end());
    EXPECT_EQ (hexLine (third->bytes), Line ({ 0xF2, 0x02, 0x00, 0x00, 0x0D, 0x00, 0xFF, 0x00, 0x00, 0x02, 0x00 }));

    juce::MemoryBlock flash, file;
    ASSERT_TRUE (h.flashFile.loadFileAsData (flash));
    ASSERT_TRUE (h.updFile.loadFileAsData (file));
    EXPECT_EQ (std::memcmp (flash.getData(), file.getData(), 0x1E0000), 0);
}

TEST_F (EngineTest, FullUpdateWithEqualDatesSkipsArea0AndCutsArea2)
{
    ASSERT_TRUE (h.startDevice ({ "--fw-date", EngineHarness::FILE_DATE_TEXT }));
    ASSERT_TRUE (h.connect());
    ASSERT_TRUE (h.runWholeUpdate (120000));

    auto probe = h.probe();
    EXPECT_EQ (h.status(), STEP_DONE);
    EXPECT_EQ (probe.progress().load(), 1.0);
    EXPECT_EQ (probe.totalSize(), 0x141000);
    EXPECT_EQ (probe.kind (0).status.load(), KIND_SAME);
    EXPECT_EQ (probe.kind (2).size.load(), 0x1000);
    EXPECT_FALSE (probe.area0Begun().load());

    const auto log = stopAndReadLog();
    EXPECT_EQ (deviceExit, 0);
    EXPECT_EQ (summary["written"], "0x090000-0x1D1000");
    EXPECT_EQ (summary["verify"], "ok 1314816 bytes");
    EXPECT_EQ (hexLine (log.at (2).bytes), Line ({ 0xF2, 0x08, 0x00, 0x00, 0x1D, 0x00, 0xFF, 0x00, 0x10, 0x00, 0x00 }));
    EXPECT_TRUE (std::none_of (log.begin(), log.end(), [] (const LoggedReport& r) { return r.target == 0xF1; }));

    const auto chunks = chunksOf (log);
    ASSERT_EQ (chunks.size(), 11u);
    const auto& area2 = chunks.back();
    EXPECT_EQ (area2.address, 0x1D0000u);
    EXPECT_EQ (area2.length, 0x1000u);
    EXPECT_EQ (area2.fullDataReports, 66);
    EXPECT_EQ (area2.lastSize, 4);
    EXPECT_EQ (area2.dataAfterLastSize, 1);
}

// The last data report always follows a last-size report, even when it is full.
TEST_F (EngineTest, ChunkOf124BytesEndsWithLastSize62)
{
    runUpdate ({}, true);
    EXPECT_EQ (h.status(), STEP_DONE);
    const auto log = stopAndReadLog();
    EXPECT_EQ (deviceExit, 0);
    EXPECT_EQ (summary["written"], "0x090000-0x09007C,0x1D0000-0x1D1000");
    EXPECT_EQ (summary["verify"], "ok 4220 bytes");

    const auto chunks = chunksOf (log);
    ASSERT_EQ (chunks.size(), 2u);
    EXPECT_EQ (chunks[0].length, 124u);
    EXPECT_EQ (chunks[0].fullDataReports, 1);
    EXPECT_EQ (chunks[0].lastSize, 62);
    EXPECT_EQ (chunks[0].dataAfterLastSize, 1);
}

// Ten busy answers, then written: eleven polls about 100 ms apart, then the next chunk
// after the short pass wait.
TEST_F (EngineTest, PollsEvery100MsWhileTheDeviceIsBusy)
{
    runUpdate ({ "--busy", "10", "--log-times" }, true);
    EXPECT_EQ (h.status(), STEP_DONE);
    const auto log = stopAndReadLog();
    const auto chunks = chunksOf (log);
    ASSERT_EQ (chunks.size(), 2u);
    EXPECT_EQ (chunks[0].polls, 11);
    EXPECT_EQ (chunks[1].polls, 11);

    std::vector<double> pollTimes;
    double nextChunkTime = -1;
    for (const auto& report : log)
    {
        if (report.code == CMD_POLL && report.target == 0xF2)
            pollTimes.push_back (report.timeMs);
        if (report.code == CMD_CHUNK && report.target == 0xF7)
            nextChunkTime = report.timeMs;
    }
    ASSERT_EQ (pollTimes.size(), 11u);
    for (size_t i = 1; i < pollTimes.size(); ++i)
    {
        EXPECT_GE (pollTimes[i] - pollTimes[i - 1], 99.0) << i;
        EXPECT_LT (pollTimes[i] - pollTimes[i - 1], 200.0) << i;
    }
    EXPECT_GT (nextChunkTime, pollTimes.back());
    EXPECT_LT (nextChunkTime - pollTimes.back(), 50.0);
}

// A data report refused in the middle of a chunk: the chunk is still sent to its end,
// no sum follows, and the update ends with ERR_PROTOCOL.
TEST_F (EngineTest, DataReportRefusedMidChunkSendsTheRestButNoSum)
{
    runUpdate ({ "--fault", "data:30:ng:1" }, true); // area 1 takes data reports 1 and 2
    EXPECT_EQ (h.status(), ERR_PROTOCOL);
    const auto log = stopAndReadLog();
    EXPECT_EQ (summary["violations"], "0");
    const auto chunks = chunksOf (log);
    ASSERT_EQ (chunks.size(), 2u);
    EXPECT_EQ (chunks[1].fullDataReports, 66);
    EXPECT_EQ (chunks[1].lastSize, 4);
    EXPECT_EQ (chunks[1].dataAfterLastSize, 1);
    EXPECT_EQ (chunks[1].sums, 0);
    EXPECT_EQ (count (log, CMD_FINISH), 0);
}

// The finish command refused 202 times, then accepted: the progress rises by 0.001 once,
// at the 202nd refusal, then becomes 1.0.
TEST_F (EngineTest, FinishRefused202TimesCreepsOnceThenCompletes)
{
    std::set<double> progressInFinish;
    h.watch = [&] {
        if (h.status() == STEP_FINISH)
            progressInFinish.insert (h.probe().progress().load());
    };
    runUpdate ({ "--fault", "finish:1-202:ng:1", "--fault", "finish:203:delay:300" }, true);
    EXPECT_EQ (h.status(), STEP_DONE);
    EXPECT_EQ (h.probe().progress().load(), 1.0);

    ASSERT_EQ (progressInFinish.size(), 2u);
    EXPECT_NEAR (*progressInFinish.rbegin() - *progressInFinish.begin(), 0.001, 1e-12);
    const auto log = stopAndReadLog();
    EXPECT_EQ (count (log, CMD_FINISH), 203);
    EXPECT_EQ (summary["finish_accepted"], "1");
}

// A file cut short, or taken away, after the first press: the chunk that cannot be read
// whole ends the update with ERR_STREAM before any of its data goes out, so no zeros
// reach the flash and nothing reports success.
TEST_F (EngineTest, FileCutShortEndsWithErrStreamBeforeAnyData)
{
    ASSERT_TRUE (h.startDevice ({ "--fw-date", EngineHarness::FILE_DATE_TEXT }));
    ASSERT_TRUE (h.connect());
    ASSERT_TRUE (h.start());
    ASSERT_TRUE (h.runUntilStatus (STEP_READY));
    h.shrinkArea1 (AREA1_SMALL);
    // Cut inside area 1's only chunk (0x90000 + 124).
    {
        juce::FileOutputStream out (h.updFile);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (out.setPosition (0x90000 + 100));
        ASSERT_TRUE (out.truncate().wasOk());
    }
    h.confirm();
    ASSERT_TRUE (h.runUntilEnded());
    EXPECT_EQ (h.status(), ERR_STREAM);
    const auto log = stopAndReadLog();
    EXPECT_EQ (count (log, CMD_CHUNK), 1);
    EXPECT_EQ (count (log, CMD_DATA), 0);
    EXPECT_EQ (count (log, CMD_LAST_SIZE), 0);
    EXPECT_EQ (count (log, CMD_FINISH), 0);
    EXPECT_EQ (summary["written"], "");
}

TEST_F (EngineTest, FileRemovedEndsWithErrStreamBeforeAnyData)
{
    ASSERT_TRUE (h.startDevice ({ "--fw-date", EngineHarness::FILE_DATE_TEXT }));
    ASSERT_TRUE (h.connect());
    ASSERT_TRUE (h.start());
    ASSERT_TRUE (h.runUntilStatus (STEP_READY));
    ASSERT_TRUE (h.updFile.deleteFile());
    h.confirm();
    ASSERT_TRUE (h.runUntilEnded());
    EXPECT_EQ (h.status(), ERR_STREAM);
    const auto log = stopAndReadLog();
    EXPECT_EQ (count (log, CMD_DATA), 0);
    EXPECT_EQ (count (log, CMD_FINISH), 0);
}

// The device unplugged while the worker polls: the removal stores ERR_REMOVED, which
// neither the exchange under way nor the worker replaces.
TEST_F (EngineTest, RemovalDuringPollGivesErrRemovedThatStays)
{
    ASSERT_TRUE (h.startDevice ({ "--fw-date", EngineHarness::FILE_DATE_TEXT, "--busy", "3",
                                  "--fault", "poll:2:unplug" }));
    ASSERT_TRUE (h.connect());
    ASSERT_TRUE (h.start());
    ASSERT_TRUE (h.runUntilStatus (STEP_READY));
    h.shrinkArea1 (AREA1_SMALL);
    h.confirm();
    ASSERT_TRUE (runUntil ([&] { return h.probe().hidCtrl()->m_deviceConnected.load() == 0; }, 10000));
    // The removal callback has stored ERR_REMOVED over STEP_POLL and stopped the worker.
    EXPECT_EQ (h.status(), ERR_REMOVED);
    EXPECT_FALSE (h.component->isThreadRunning());
    ASSERT_TRUE (h.runUntilEnded (3000));
    runFor (200);
    EXPECT_EQ (h.status(), ERR_REMOVED);
    EXPECT_EQ (h.probe().finished().load(), 0);
    EXPECT_FALSE (sawStatus (STEP_DONE));
    // The device went away at the chunk's second poll: the update was in STEP_POLL.
    const auto log = stopAndReadLog();
    EXPECT_EQ (count (log, CMD_POLL), 2);
    EXPECT_EQ (count (log, CMD_FINISH), 0);
}

// Faults at one command, and the status each gives. 0 as the expected status stands for
// "reaches STEP_READY" (the device check passed).
struct FaultCase
{
    const char* name;
    std::vector<std::string> args;
    int32_t expected;
    const char* devVersion = nullptr; // the version text read, where it matters
};

void PrintTo (const FaultCase& c, std::ostream* os) { *os << c.name; }

std::string CaseName (const ::testing::TestParamInfo<FaultCase>& param) { return param.param.name; }

class EngineFaultTest : public EngineTest, public ::testing::WithParamInterface<FaultCase>
{
};

TEST_P (EngineFaultTest, GivesTheStatusOfTheFailureTable)
{
    const auto& c = GetParam();
    const bool checkOnly = c.expected == STEP_READY;
    if (checkOnly)
    {
        ASSERT_TRUE (h.startDevice (c.args));
        ASSERT_TRUE (h.connect());
        ASSERT_TRUE (h.start());
        EXPECT_TRUE (h.runUntilStatus (STEP_READY)) << std::hex << h.status();
        if (c.devVersion != nullptr)
        {
            EXPECT_EQ (h.probe().devVersion(), c.devVersion);
        }
        return;
    }
    runUpdate (c.args, true, 30000);
    EXPECT_EQ (h.status(), c.expected) << std::hex << h.status();
    if (c.expected != STEP_DONE)
    {
        EXPECT_FALSE (sawStatus (STEP_DONE));
    }

    // The device never sees a finish after a chunk it did not take and write.
    const auto log = stopAndReadLog();
    EXPECT_EQ (summary["violations"], "0");
    if (IsErrorStatus (c.expected))
    {
        EXPECT_EQ (summary["finish_accepted"], "0");
    }
}

// Refusals and unexpected answers.
INSTANTIATE_TEST_SUITE_P (Refusals, EngineFaultTest, ::testing::Values (
    FaultCase { "mode_ng1", { "--fault", "mode:1:ng:1" }, ERR_DEV_NG1 },
    FaultCase { "mode_ng2", { "--fault", "mode:1:ng:2" }, ERR_DEV_NG2 },
    FaultCase { "mode_ng3", { "--fault", "mode:1:ng:3" }, ERR_DEV_NG3 },
    FaultCase { "mode_ng4", { "--fault", "mode:1:ng:4" }, ERR_DEV_NG4 },
    FaultCase { "mode_ng5", { "--fault", "mode:1:ng:5" }, ERR_PROTOCOL },
    FaultCase { "mode_ng6", { "--fault", "mode:1:ng:6" }, ERR_PROTOCOL },
    FaultCase { "mode_code82", { "--fault", "mode:1:code:0x82" }, ERR_PROTOCOL },
    FaultCase { "version_code80", { "--fault", "version:1:code:0x80" }, ERR_PROTOCOL },
    FaultCase { "begin_ng1", { "--fault", "begin:1:ng:1" }, ERR_PROTOCOL },
    FaultCase { "chunk_code99", { "--fault", "chunk:1:code:0x99" }, ERR_PROTOCOL },
    FaultCase { "sum_ng2", { "--fault", "sum:1:ng:2" }, ERR_DEV_NG2 },
    FaultCase { "sum_ng3", { "--fault", "sum:1:ng:3" }, ERR_PROTOCOL },
    FaultCase { "sum_code85", { "--fault", "sum:1:code:0x85" }, ERR_PROTOCOL },
    FaultCase { "poll_ng3", { "--fault", "poll:1:ng:3" }, ERR_DEV_NG3 },
    FaultCase { "poll_ng4", { "--fault", "poll:1:ng:4" }, ERR_DEV_NG4 },
    FaultCase { "poll_ng2", { "--fault", "poll:1:ng:2" }, ERR_PROTOCOL },
    FaultCase { "poll_code80", { "--fault", "poll:1:code:0x80" }, ERR_PROTOCOL },
    FaultCase { "last_size_ng1", { "--fault", "last-size:2:ng:1" }, ERR_PROTOCOL },
    FaultCase { "finish_ng5", { "--fault", "finish:1:ng:5" }, ERR_PROTOCOL }),
    CaseName);

// The device's build date and version text.
INSTANTIATE_TEST_SUITE_P (DeviceVersion, EngineFaultTest, ::testing::Values (
    FaultCase { "date_upper_bounds", { "--fw-date", "20501231" }, STEP_READY },
    FaultCase { "date_zero", { "--fw-date", "00000000" }, STEP_READY },
    FaultCase { "date_century", { "--fw-date", "21170530" }, ERR_DEV_VERSION },
    FaultCase { "date_year", { "--fw-date", "20510530" }, ERR_DEV_VERSION },
    FaultCase { "date_month", { "--fw-date", "20171330" }, ERR_DEV_VERSION },
    FaultCase { "date_day", { "--fw-date", "20170532" }, ERR_DEV_VERSION },
    FaultCase { "no_version", { "--no-version" }, STEP_READY, "0.00" },
    FaultCase { "letters", { "--fw-version", "A.bc" }, STEP_READY, "A.bc" },
    FaultCase { "no_point", { "--fw-version", "1x02" }, ERR_DEV_VERSION },
    // Only the first 64 bytes of a long report count; a short one leaves the rest of
    // the response buffer as the previous answer left it (here byte 10 stays 0).
    FaultCase { "long_report", { "--fault", "version:1:long:200" }, STEP_READY, "1.02" },
    FaultCase { "short_report", { "--fault", "version:1:short:10" }, ERR_DEV_VERSION }),
    CaseName);

// A wrong echo: the exchange stores ERR_PROTOCOL; the next status replaces it, except
// in the data, after a busy poll and after a refused finish.
INSTANTIATE_TEST_SUITE_P (WrongEcho, EngineFaultTest, ::testing::Values (
    FaultCase { "mode", { "--fault", "mode:1:echo" }, STEP_DONE },
    FaultCase { "version", { "--fault", "version:1:echo" }, STEP_DONE },
    FaultCase { "begin", { "--fault", "begin:1:echo" }, STEP_DONE },
    FaultCase { "chunk", { "--fault", "chunk:2:echo" }, STEP_DONE },
    FaultCase { "data", { "--fault", "data:1:echo" }, ERR_PROTOCOL },
    FaultCase { "last_size", { "--fault", "last-size:2:echo" }, ERR_PROTOCOL },
    FaultCase { "sum", { "--fault", "sum:1:echo" }, STEP_DONE },
    FaultCase { "poll_written", { "--fault", "poll:1:echo" }, STEP_DONE },
    FaultCase { "poll_busy", { "--busy", "1", "--fault", "poll:1:echo" }, ERR_PROTOCOL },
    FaultCase { "finish", { "--fault", "finish:1:echo" }, STEP_DONE },
    FaultCase { "finish_refused", { "--fault", "finish:1:ng:5" }, ERR_PROTOCOL }),
    CaseName);

// No answer within 5000 ms, for each command (these wait the real time-out).
INSTANTIATE_TEST_SUITE_P (NoAnswer, EngineFaultTest, ::testing::Values (
    FaultCase { "mode", { "--fault", "mode:1:silent" }, ERR_NO_RESPONSE },
    FaultCase { "version", { "--fault", "version:1:silent" }, ERR_NO_RESPONSE },
    FaultCase { "begin", { "--fault", "begin:1:silent" }, ERR_NO_RESPONSE },
    FaultCase { "chunk", { "--fault", "chunk:1:silent" }, ERR_NO_RESPONSE },
    FaultCase { "data", { "--fault", "data:40:silent" }, ERR_NO_RESPONSE },
    FaultCase { "last_size", { "--fault", "last-size:1:silent" }, ERR_NO_RESPONSE },
    FaultCase { "sum", { "--fault", "sum:1:silent" }, ERR_NO_RESPONSE },
    FaultCase { "poll", { "--fault", "poll:1:silent" }, ERR_NO_RESPONSE },
    FaultCase { "finish", { "--fault", "finish:1:silent" }, ERR_NO_RESPONSE }),
    CaseName);
