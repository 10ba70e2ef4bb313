#include "DevSimDevice.h"

#include "app/DeviceProtocol.h"

#include <algorithm>
#include <cinttypes>

namespace devsim
{
using namespace devproto;

namespace
{
constexpr uint8_t ECHO_FLIP = 0x08;       // a wrong echo that still starts at 0xF0 or above
constexpr uint8_t LONG_REPORT_FILL = 0xA5;
constexpr uint32_t AREA2_ADDRESS = 0x1D0000;

bool AppliesCommand (FaultKind kind)
{
    return kind == FaultKind::WrongEcho || kind == FaultKind::Long || kind == FaultKind::Short
        || kind == FaultKind::Delay;
}
} // namespace

Device::Device (const Options& options)
    : m_options (options), m_flash (FLASH_SIZE, 0xFF)
{
}

const Device::Area* Device::FindArea (uint8_t target)
{
    // The device's memory map: one area per target.
    static constexpr Area areas[] = {
        { 0xF1, 0x000000, 0x090000 },
        { 0xF2, 0x090000, 0x140000 },
        { 0xF7, 0x1D0000, 0x010000 },
    };
    for (const auto& area : areas)
        if (area.target == target)
            return &area;
    return nullptr;
}

void Device::ResetSession()
{
    m_chunk.reset();
    m_nextAddress.clear();
    m_begunTarget = 0;
    m_area2End = 0;
}

const FaultRule* Device::MatchFault (int command) const
{
    for (const auto& rule : m_options.faults)
    {
        const auto found = m_commandCount.find (rule.command == ANY_COMMAND ? ANY_COMMAND : command);
        const auto count = found == m_commandCount.end() ? 0 : found->second;
        if ((rule.command == ANY_COMMAND || rule.command == command) && count >= rule.first && count <= rule.last)
            return &rule;
    }
    return nullptr;
}

Reply Device::Handle (const uint8_t* report, size_t length)
{
    ++m_reports;
    const int command = length >= 2 ? report[POS_CODE] : -2;
    ++m_commandCount[command];
    ++m_commandCount[ANY_COMMAND];
    const uint8_t target = length >= 1 ? report[POS_TARGET] : TARGET_DEVICE;

    Reply reply;
    const auto* fault = MatchFault (command);
    if (fault != nullptr && ! AppliesCommand (fault->kind))
    {
        // A chunk that lost a data report can only fail its sum; the reports the host
        // still sends for it are taken without the order checks.
        if ((command == CMD_DATA || command == CMD_LAST_SIZE) && m_chunk.has_value())
            m_chunk->spoiled = true;
        switch (fault->kind)
        {
            case FaultKind::Refuse: reply.bytes = Refuse (target, static_cast<uint8_t> (fault->value)); break;
            case FaultKind::Code: reply.bytes = Ack (target, static_cast<uint8_t> (fault->value)); break;
            case FaultKind::Unplug: reply.action = Reply::Action::Unplug; reply.unplugMs = fault->delayMs; return reply;
            default: return reply; // Silent
        }
    }
    else
    {
        reply.bytes = Answer (report, length);
        if (fault != nullptr && ! reply.bytes.empty())
        {
            switch (fault->kind)
            {
                case FaultKind::WrongEcho:
                    reply.bytes[POS_TARGET] = fault->value != 0 ? static_cast<uint8_t> (fault->value)
                                                                : static_cast<uint8_t> (target ^ ECHO_FLIP);
                    break;
                case FaultKind::Long: reply.bytes.resize (static_cast<size_t> (fault->value), LONG_REPORT_FILL); break;
                case FaultKind::Short: reply.bytes.resize (static_cast<size_t> (fault->value)); break;
                case FaultKind::Delay: reply.delayMs += fault->delayMs; break;
                default: break;
            }
        }
    }
    if (! reply.bytes.empty())
    {
        reply.action = Reply::Action::Send;
        reply.delayMs += m_options.latencyMs;
    }
    return reply;
}

std::vector<uint8_t> Device::Ack (uint8_t target, uint8_t code)
{
    std::vector<uint8_t> answer (REPORT_SIZE, 0);
    answer[POS_TARGET] = target;
    answer[POS_CODE] = code;
    return answer;
}

std::vector<uint8_t> Device::Refuse (uint8_t target, uint8_t reason) const
{
    auto answer = Ack (target, RSP_NG);
    answer[POS_PARAM] = reason;
    return answer;
}

std::vector<uint8_t> Device::Violation (uint8_t target, const std::string& what)
{
    ++m_violations;
    std::fprintf (stderr, "nubla-devsim: protocol violation at report %" PRIu64 ": %s\n", m_reports, what.c_str());
    return Refuse (target, NG_PROTOCOL);
}

std::vector<uint8_t> Device::Answer (const uint8_t* report, size_t length)
{
    if (length < 2)
        return Violation (length == 1 ? report[0] : TARGET_DEVICE, "report shorter than 2 bytes");
    if (length != static_cast<size_t> (REPORT_SIZE))
        return Violation (report[POS_TARGET], "output report of " + std::to_string (length) + " bytes, not 64");

    const uint8_t target = report[POS_TARGET];
    switch (report[POS_CODE])
    {
        case CMD_GET_MODE:
            return target == TARGET_DEVICE ? Ack (target, RSP_ACK) : Violation (target, "mode query not to 0xF0");
        case CMD_GET_VERSION:
            return target == TARGET_DEVICE ? OnVersion() : Violation (target, "version query not to 0xF0");
        case CMD_BEGIN: return OnBegin (report);
        case CMD_CHUNK: return OnChunk (report);
        case CMD_DATA: return OnData (report);
        case CMD_LAST_SIZE: return OnLastSize (report);
        case CMD_SUM: return OnSum (report);
        case CMD_POLL: return OnPoll (report);
        case CMD_FINISH: return OnFinish (report);
        case CMD_COMPLETE:
            ++m_completes;
            return {};
        case CMD_CANCEL:
            ++m_cancels;
            ResetSession();
            return Ack (target, RSP_ACK);
        default: return Violation (target, "unknown command code");
    }
}

std::vector<uint8_t> Device::OnVersion()
{
    auto answer = Ack (TARGET_DEVICE, RSP_VERSION);
    std::copy (m_options.date, m_options.date + 4, answer.begin() + POS_VERSION_DATE);
    std::copy (m_options.version, m_options.version + 4, answer.begin() + POS_VERSION_TEXT);
    return answer;
}

std::vector<uint8_t> Device::OnBegin (const uint8_t* report)
{
    const uint8_t target = report[POS_TARGET];
    const auto address = GetLE32 (report + POS_PARAM);
    const auto length = GetLE32 (report + POS_RANGE_LEN);
    if (FindArea (target) == nullptr)
        return Violation (target, "begin for an unknown area");
    if (report[POS_RANGE_MARK] != RANGE_MARK)
        return Violation (target, "begin without the 0xFF mark");

    // The begin names the span of area 2 that the update will write.
    const uint32_t expectedLength = target == 0xF1 ? 0x10000 : target == 0xF2 ? 0x1000 : 0;
    const uint32_t expectedAddress = expectedLength != 0 ? AREA2_ADDRESS : 0;
    if (address != expectedAddress || length != expectedLength)
        return Violation (target, "begin with a wrong area 2 span");

    ResetSession();
    m_area2End = AREA2_ADDRESS + (length != 0 ? length : FindArea (0xF7)->size);
    m_begunTarget = target;
    return Ack (target, RSP_ACK);
}

std::vector<uint8_t> Device::OnChunk (const uint8_t* report)
{
    const uint8_t target = report[POS_TARGET];
    const auto* area = FindArea (target);
    const auto address = GetLE32 (report + POS_PARAM);
    const auto length = GetLE32 (report + POS_RANGE_LEN);
    if (area == nullptr)
        return Violation (target, "chunk for an unknown area");
    if (m_begunTarget == 0 || target < m_begunTarget)
        return Violation (target, "chunk for an area the begin did not include");
    if (report[POS_RANGE_MARK] != RANGE_MARK)
        return Violation (target, "chunk without the 0xFF mark");
    if (length == 0 || length > static_cast<uint32_t> (CHUNK_SIZE))
        return Violation (target, "chunk length out of range");
    if (m_chunk.has_value() && ! m_chunk->written && ! m_chunk->spoiled)
        return Violation (target, "chunk announced before the previous one was written");

    const auto next = m_nextAddress.find (target);
    const auto expected = next != m_nextAddress.end() ? next->second : area->address;
    const auto areaEnd = target == 0xF7 ? m_area2End : area->address + area->size;
    if (address != expected)
        return Violation (target, "chunk does not follow the previous one");
    if (static_cast<uint64_t> (address) + length > areaEnd)
        return Violation (target, "chunk leaves its area");

    Chunk chunk;
    chunk.target = target;
    chunk.address = address;
    chunk.length = length;
    chunk.data.reserve (length);
    chunk.busyLeft = m_options.busyPolls;
    m_chunk = std::move (chunk);
    return Ack (target, RSP_ACK);
}

std::vector<uint8_t> Device::OnData (const uint8_t* report)
{
    const uint8_t target = report[POS_TARGET];
    if (m_chunk.has_value() && m_chunk->spoiled)
        return Ack (target, RSP_ACK);
    if (! m_chunk.has_value() || m_chunk->target != target || m_chunk->dataDone)
        return Violation (target, "data report outside an announced chunk");
    auto& chunk = *m_chunk;
    const bool last = chunk.lastSize != 0;
    const size_t count = last ? static_cast<size_t> (chunk.lastSize) : static_cast<size_t> (DATA_PER_REPORT);
    if (! last && chunk.data.size() + count >= chunk.length)
        return Violation (target, "full data report where the last-size report was due");
    if (std::any_of (report + POS_PARAM + count, report + REPORT_SIZE, [] (uint8_t b) { return b != 0; }))
        return Violation (target, "bytes after the payload are not zero");

    chunk.data.insert (chunk.data.end(), report + POS_PARAM, report + POS_PARAM + count);
    chunk.dataDone = last;
    return Ack (target, RSP_ACK);
}

std::vector<uint8_t> Device::OnLastSize (const uint8_t* report)
{
    const uint8_t target = report[POS_TARGET];
    if (m_chunk.has_value() && m_chunk->spoiled)
        return Ack (target, RSP_ACK);
    if (! m_chunk.has_value() || m_chunk->target != target || m_chunk->dataDone || m_chunk->lastSize != 0)
        return Violation (target, "last-size report outside an announced chunk");
    const int count = report[POS_PARAM];
    if (count < 1 || count > DATA_PER_REPORT || m_chunk->data.size() + static_cast<size_t> (count) != m_chunk->length)
        return Violation (target, "last size does not complete the chunk");
    m_chunk->lastSize = count;
    return Ack (target, RSP_ACK);
}

std::vector<uint8_t> Device::OnSum (const uint8_t* report)
{
    const uint8_t target = report[POS_TARGET];
    if (! m_chunk.has_value() || m_chunk->target != target || m_chunk->sumAccepted)
        return Violation (target, "sum outside an announced chunk");
    if (m_chunk->spoiled)
        return Refuse (target, 2);
    if (! m_chunk->dataDone)
    {
        Violation (target, "sum before the chunk's data was complete");
        return Refuse (target, 2);
    }
    uint32_t sum = 0;
    for (const auto byte : m_chunk->data)
        sum += byte;
    if (sum != GetLE32 (report + POS_PARAM))
        return Refuse (target, 2);
    m_chunk->sumAccepted = true;
    return Ack (target, RSP_ACK);
}

std::vector<uint8_t> Device::OnPoll (const uint8_t* report)
{
    const uint8_t target = report[POS_TARGET];
    if (! m_chunk.has_value() || m_chunk->target != target || ! m_chunk->sumAccepted)
        return Violation (target, "poll for a chunk whose sum was not accepted");
    auto& chunk = *m_chunk;
    if (chunk.busyLeft > 0)
    {
        --chunk.busyLeft;
        const bool odd = (m_options.busyPolls - chunk.busyLeft) % 2 == 1;
        return Ack (target, odd ? RSP_BUSY1 : RSP_BUSY2);
    }
    if (! chunk.written)
    {
        std::copy (chunk.data.begin(), chunk.data.end(), m_flash.begin() + chunk.address);
        m_written.emplace_back (chunk.address, chunk.address + chunk.length);
        m_nextAddress[target] = chunk.address + chunk.length;
        chunk.written = true;
    }
    return Ack (target, RSP_WRITTEN);
}

std::vector<uint8_t> Device::OnFinish (const uint8_t* report)
{
    const uint8_t target = report[POS_TARGET];
    if (target != 0xF7)
        return Violation (target, "finish not to area 2's target");
    if (m_chunk.has_value() && ! m_chunk->written)
        return Violation (target, "finish after a chunk that was not written");
    if (m_begunTarget == 0)
        return Violation (target, "finish without a begin");
    ++m_finishAccepted;
    return Ack (target, RSP_ACK);
}

std::vector<std::pair<uint32_t, uint32_t>> Device::WrittenRanges() const
{
    auto ranges = m_written;
    std::sort (ranges.begin(), ranges.end());
    std::vector<std::pair<uint32_t, uint32_t>> merged;
    for (const auto& range : ranges)
        if (! merged.empty() && range.first <= merged.back().second)
            merged.back().second = std::max (merged.back().second, range.second);
        else
            merged.push_back (range);
    return merged;
}

bool Device::Verify (const std::vector<uint8_t>& updateFile, std::string& result) const
{
    if (updateFile.size() != FLASH_SIZE)
    {
        result = "differs: the update file is not 2 MiB";
        return false;
    }
    uint64_t bytes = 0;
    for (const auto& [start, end] : WrittenRanges())
    {
        const auto mismatch = std::mismatch (m_flash.begin() + start, m_flash.begin() + end, updateFile.begin() + start);
        if (mismatch.first != m_flash.begin() + end)
        {
            char text[64];
            std::snprintf (text, sizeof text, "differs at 0x%06lX",
                           static_cast<unsigned long> (mismatch.first - m_flash.begin()));
            result = text;
            return false;
        }
        bytes += end - start;
    }
    result = "ok " + std::to_string (bytes) + " bytes";
    return true;
}

void Device::PrintSummary (FILE* out) const
{
    std::fprintf (out, "reports=%" PRIu64 "\nviolations=%" PRIu64 "\n", m_reports, m_violations);
    for (const auto& [command, count] : m_commandCount)
        if (const char* name = CommandName (command); name != nullptr && command != ANY_COMMAND)
            std::fprintf (out, "cmd.%s=%" PRIu64 "\n", name, count);
    std::fprintf (out, "finish_accepted=%" PRIu64 "\ncomplete=%" PRIu64 "\ncancel=%" PRIu64 "\n",
                  m_finishAccepted, m_completes, m_cancels);
    std::fprintf (out, "written=");
    const auto ranges = WrittenRanges();
    for (size_t i = 0; i < ranges.size(); ++i)
        std::fprintf (out, "%s0x%06X-0x%06X", i == 0 ? "" : ",", ranges[i].first, ranges[i].second);
    std::fprintf (out, "\n");
}
} // namespace devsim
