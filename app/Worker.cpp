#include "app/MainComponent.h"

#include "app/DeviceProtocol.h"
#include "hid/HidCtrl.h"

#include <algorithm>
#include <optional>

using namespace devproto;

namespace
{
constexpr int PASS_WAIT_MS = 1;
constexpr int POLL_WAIT_MS = 100;
constexpr double DATA_PROGRESS_CAP = 0.9;
constexpr double FINISH_PROGRESS_CAP = 0.99;
constexpr double FINISH_CREEP_STEP = 0.001;
constexpr int32_t FINISH_CREEP_REFUSALS = 201; // refusals counted before each creep step
constexpr int32_t ALL_AREAS_DONE = 3;

// Parameters of CMD_CHUNK and CMD_BEGIN: address, the 0xFF mark, length.
std::array<uint8_t, 9> RangeParams (uint32_t address, uint32_t length)
{
    std::array<uint8_t, 9> params {};
    PutLE32 (params.data(), address);
    params[POS_RANGE_MARK - POS_PARAM] = RANGE_MARK;
    PutLE32 (params.data() + POS_RANGE_LEN - POS_PARAM, length);
    return params;
}
} // namespace

// The steps of the update worker. One object lives for one run of the thread; the
// counters it moves are the static locals of MainComponent::run.
class UpdateWorker
{
public:
    UpdateWorker (MainComponent& owner, int32_t& updKind, int32_t& readOffset,
                  int64_t& alreadySentDataSize, int32_t& cnt)
        : mc (owner), m_updKind (updKind), m_readOffset (readOffset),
          m_alreadySent (alreadySentDataSize), m_cnt (cnt)
    {
    }

    // Passes until the update ends, fails or the thread is asked to stop.
    void Run()
    {
        for (;;)
        {
            mc.RequestRedraw();
            mc.wait (m_waitMs);
            mc.m_curKind = m_updKind;
            switch (Step (mc.m_updStatus.load()))
            {
                case Outcome::End:
                    mc.RequestRedraw();
                    mc.signalThreadShouldExit();
                    return;
                case Outcome::Completion:
                    Complete();
                    return;
                case Outcome::NextPass:
                    if (mc.threadShouldExit())
                        return;
                    break;
            }
        }
    }

private:
    enum class Outcome
    {
        NextPass,
        End,
        Completion,
    };

    // How one report of a chunk's data went.
    enum class ReportResult
    {
        Sent,     // answered (a refusal is stored and the chunk goes on)
        NoAnswer, // ERR_NO_RESPONSE stored
        Stopped,  // the thread was asked to stop
    };

    Outcome Step (int32_t status)
    {
        switch (status)
        {
            case STEP_IDLE: return CheckDevice();
            case STEP_READY: return Outcome::NextPass; // the OK press confirms
            case STEP_BEGIN: return Begin();
            case STEP_AREA: return AnnounceChunk();
            case STEP_DATA: return SendChunkData();
            case STEP_SUM: return SendSum();
            case STEP_POLL: return Poll();
            case STEP_FINISH: return Finish();
            case ERR_REMOVED: return Outcome::End;
            default: return Fail (ERR_PROTOCOL);
        }
    }

    Outcome Next (int32_t status) { return mc.StoreStatus (status) ? Outcome::NextPass : Outcome::End; }

    Outcome Fail (int32_t error)
    {
        mc.StoreStatus (error);
        return Outcome::End;
    }

    std::optional<std::array<uint8_t, MainComponent::REPORT_SIZE>> Exchange() { return mc.Exchange(); }

    UpdKindInfo& CurrentArea() { return mc.m_updKindInfo[m_updKind]; }

    Outcome CheckDevice()
    {
        if (! mc.CheckDeviceMode())
            return Outcome::End;
        for (const auto& area : mc.m_updKindInfo)
            if (area.status == KIND_WRITE)
                mc.m_totalSize += area.size;
        return mc.m_totalSize > 0 ? Next (STEP_READY) : Fail (ERR_PROTOCOL);
    }

    // The begin command goes to the first area to write and names the span of area 2
    // that will be written (none when area 2 is the first).
    Outcome Begin()
    {
        const auto* areas = mc.m_updKindInfo;
        const auto first = std::find_if (areas, areas + 3, [] (const UpdKindInfo& a) { return a.status == KIND_WRITE; });
        if (first == areas + 3)
            return Fail (ERR_PROTOCOL); // the device check marks at least areas 1 and 2
        m_updKind = static_cast<int32_t> (first - areas);

        const bool spansArea2 = m_updKind < 2;
        const auto params = RangeParams (spansArea2 ? static_cast<uint32_t> (areas[2].address) : 0,
                                         spansArea2 ? static_cast<uint32_t> (areas[2].size.load()) : 0);
        if (m_updKind == 0)
            mc.m_area0Begun = true;

        mc.FillCommand (first->target, CMD_BEGIN, params.data(), static_cast<int> (params.size()));
        const auto answer = Exchange();
        if (! answer)
            return Outcome::End;
        return (*answer)[POS_CODE] == RSP_ACK ? Next (STEP_AREA) : Fail (ERR_PROTOCOL);
    }

    Outcome AnnounceChunk()
    {
        if (m_updKind >= ALL_AREAS_DONE)
            return Next (STEP_FINISH);
        auto& area = CurrentArea();
        if (area.status != KIND_WRITE)
        {
            mc.m_curKind = ++m_updKind;
            return Outcome::NextPass;
        }

        const auto address = static_cast<uint32_t> (area.address + m_alreadySent);
        const auto length = static_cast<uint32_t> (std::min<int64_t> (area.size - m_alreadySent, CHUNK_SIZE));
        const auto params = RangeParams (address, length);
        mc.FillCommand (area.target, CMD_CHUNK, params.data(), static_cast<int> (params.size()));
        const auto answer = Exchange();
        if (! answer)
            return Outcome::End;
        return (*answer)[POS_CODE] == RSP_ACK ? Next (STEP_DATA) : Fail (ERR_PROTOCOL);
    }

    // Reads the whole chunk from the update file. A chunk that cannot be read whole ends
    // the update before any of it is sent: the file was checked at the start, but is read
    // again here, and a file cut short or removed since must not reach the flash.
    bool ReadChunk (const UpdKindInfo& area, juce::MemoryBlock& block)
    {
        auto stream = area.file.createInputStream();
        if (stream == nullptr)
            return false;
        const auto length = static_cast<int> (block.getSize());
        if (length == 0)
            return true;
        return stream->setPosition (area.offset + m_readOffset) && stream->read (block.getData(), length) == length;
    }

    Outcome SendChunkData()
    {
        auto& area = CurrentArea();
        const auto remaining = static_cast<int32_t> (area.size - m_alreadySent);
        const auto length = std::min (remaining, static_cast<int32_t> (CHUNK_SIZE));
        juce::MemoryBlock block (static_cast<size_t> (std::max (length, 0)), true);
        if (! ReadChunk (area, block))
            return Fail (ERR_STREAM);

        if (remaining > 0 && ! SendReports (area, static_cast<const uint8_t*> (block.getData()), length))
            return Outcome::End;

        if (mc.m_updStatus.load() == STEP_DATA)
        {
            int32_t sum = 0;
            for (size_t i = 0; i < block.getSize(); ++i)
                sum += static_cast<uint8_t> (block[i]);
            mc.m_chunkSum = sum;
            mc.StoreStatus (STEP_SUM);
        }
        return IsErrorStatus (mc.m_updStatus.load()) ? Outcome::End : Outcome::NextPass;
    }

    // The chunk's data reports: full ones while more than 62 bytes are left, then the
    // last-size report and the last data report. False after ERR_NO_RESPONSE.
    bool SendReports (const UpdKindInfo& area, const uint8_t* data, int32_t length)
    {
        const double base = mc.m_progress;
        const auto total = static_cast<double> (mc.m_totalSize);
        for (int32_t i = 0; i < length; i += DATA_PER_REPORT)
        {
            mc.m_progress = std::min (DATA_PROGRESS_CAP, base + i / total);
            ReportResult result;
            if (i + DATA_PER_REPORT < length)
            {
                m_alreadySent += DATA_PER_REPORT;
                result = SendReport (area.target, CMD_DATA, data + i, DATA_PER_REPORT);
            }
            else
            {
                const auto count = static_cast<uint8_t> (length - i);
                m_alreadySent += count;
                result = SendReport (area.target, CMD_LAST_SIZE, &count, 1);
                if (result == ReportResult::Sent)
                    result = SendReport (area.target, CMD_DATA, data + i, count);
            }
            if (result == ReportResult::NoAnswer)
                return false;
            if (result == ReportResult::Stopped)
                break;
        }
        return true;
    }

    ReportResult SendReport (uint8_t target, uint8_t code, const uint8_t* params, int count)
    {
        mc.FillCommand (target, code, params, count);
        const auto answer = Exchange();
        if (! answer)
            return ReportResult::NoAnswer;
        if (mc.threadShouldExit())
            return ReportResult::Stopped;
        if ((*answer)[POS_CODE] != RSP_ACK)
            mc.StoreStatus (ERR_PROTOCOL); // the rest of the chunk still goes out
        return ReportResult::Sent;
    }

    Outcome SendSum()
    {
        uint8_t params[4];
        PutLE32 (params, static_cast<uint32_t> (mc.m_chunkSum.load()));
        mc.FillCommand (CurrentArea().target, CMD_SUM, params, 4);
        const auto answer = Exchange();
        if (! answer)
            return Outcome::End;
        switch ((*answer)[POS_CODE])
        {
            case RSP_ACK:
                m_waitMs = POLL_WAIT_MS;
                return Next (STEP_POLL);
            case RSP_NG:
                return Fail ((*answer)[POS_PARAM] == 2 ? ERR_DEV_NG2 : ERR_PROTOCOL);
            default:
                return Fail (ERR_PROTOCOL);
        }
    }

    Outcome Poll()
    {
        auto& area = CurrentArea();
        mc.FillCommand (area.target, CMD_POLL);
        const auto answer = Exchange();
        if (! answer)
            return Outcome::End;
        switch ((*answer)[POS_CODE])
        {
            case RSP_BUSY1:
            case RSP_BUSY2:
                return IsErrorStatus (mc.m_updStatus.load()) ? Outcome::End : Outcome::NextPass;
            case RSP_WRITTEN:
                ChunkWritten (area);
                m_waitMs = PASS_WAIT_MS;
                return Next (STEP_AREA);
            case RSP_NG:
            {
                const auto reason = (*answer)[POS_PARAM];
                return Fail (reason == 4 ? ERR_DEV_NG4 : reason == 3 ? ERR_DEV_NG3 : ERR_PROTOCOL);
            }
            default:
                return Fail (ERR_PROTOCOL);
        }
    }

    void ChunkWritten (const UpdKindInfo& area)
    {
        if (m_readOffset + CHUNK_SIZE < area.size)
        {
            m_readOffset += CHUNK_SIZE;
            return;
        }
        mc.m_curKind = ++m_updKind;
        m_alreadySent = 0;
        m_readOffset = 0;
    }

    // The finish command goes until the device accepts it; while it refuses, the
    // progress creeps up by one step every FINISH_CREEP_REFUSALS + 1 refusals.
    Outcome Finish()
    {
        mc.FillCommand (mc.m_updKindInfo[2].target, CMD_FINISH);
        const auto answer = Exchange();
        if (! answer)
            return Outcome::End;
        if ((*answer)[POS_CODE] == RSP_ACK)
            return mc.StoreStatus (STEP_DONE) ? Outcome::Completion : Outcome::End;

        if (mc.m_progress >= FINISH_PROGRESS_CAP)
            mc.m_progress = FINISH_PROGRESS_CAP;
        else if (m_cnt < FINISH_CREEP_REFUSALS)
            ++m_cnt;
        else
        {
            m_cnt = 0;
            mc.m_progress = mc.m_progress + FINISH_CREEP_STEP;
        }
        return IsErrorStatus (mc.m_updStatus.load()) ? Outcome::End : Outcome::NextPass;
    }

    // The completion report is not answered: it is handed to the device without a wait.
    void Complete()
    {
        mc.m_progress = 1.0;
        mc.FillCommand (TARGET_DEVICE, CMD_COMPLETE);
        if (mc.m_pHidCtrl != nullptr)
        {
            const juce::ScopedLock lock (mc.m_cmdLock);
            mc.m_pHidCtrl->sendData (mc.m_cmdBuf, MainComponent::REPORT_SIZE);
        }
        mc.RequestRedraw();
        mc.signalThreadShouldExit();
        mc.m_finished = 1;
    }

    MainComponent& mc;
    int32_t& m_updKind;
    int32_t& m_readOffset;
    int64_t& m_alreadySent;
    int32_t& m_cnt;
    int m_waitMs = PASS_WAIT_MS;
};

// The update worker. Its counters live for the whole program run: one run performs at
// most one update.
void MainComponent::run()
{
    static int32_t updKind = 0;
    static int32_t readOffset = 0;
    static int64_t alreadySentDataSize = 0;
    static int32_t cnt = 0;
    UpdateWorker (*this, updKind, readOffset, alreadySentDataSize, cnt).Run();
}
