#pragma once

#include "DevSimOptions.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace devsim
{
constexpr uint32_t FLASH_SIZE = 0x200000;

// What the transport does with one received report.
struct Reply
{
    enum class Action
    {
        Send,   // send bytes after delayMs
        None,   // send nothing
        Unplug, // send nothing; unplug for unplugMs (< 0: for good)
    };
    Action action = Action::None;
    std::vector<uint8_t> bytes;
    double delayMs = 0;
    double unplugMs = 0;
};

// The device's side of the update protocol, without the transport: a 2 MiB flash, the
// state of the chunk under way, and the injected faults. Any command that breaks the
// protocol's order is refused with reason 5 and counted as a violation.
class Device
{
public:
    explicit Device (const Options& options);

    Reply Handle (const uint8_t* report, size_t length);

    // A new host connection starts a new session: the chunk under way is dropped.
    void ResetSession();

    const std::vector<uint8_t>& Flash() const { return m_flash; }
    // Written ranges [start, end), merged and in address order.
    std::vector<std::pair<uint32_t, uint32_t>> WrittenRanges() const;
    // Compares every written byte with the update file at the same address.
    bool Verify (const std::vector<uint8_t>& updateFile, std::string& result) const;
    void PrintSummary (FILE* out) const;
    uint64_t Violations() const { return m_violations; }

private:
    struct Area
    {
        uint8_t target;
        uint32_t address;
        uint32_t size;
    };

    struct Chunk
    {
        uint8_t target = 0;
        uint32_t address = 0;
        uint32_t length = 0;
        std::vector<uint8_t> data;
        int lastSize = 0;     // announced by CMD_LAST_SIZE, 0 before
        bool dataDone = false;
        bool sumAccepted = false;
        int busyLeft = 0;
        bool written = false;
        bool spoiled = false; // one of its data reports was refused or lost
    };

    const FaultRule* MatchFault (int command) const;
    std::vector<uint8_t> Answer (const uint8_t* report, size_t length);
    std::vector<uint8_t> Refuse (uint8_t target, uint8_t reason) const;
    std::vector<uint8_t> Violation (uint8_t target, const std::string& what);
    static std::vector<uint8_t> Ack (uint8_t target, uint8_t code);
    static const Area* FindArea (uint8_t target);

    std::vector<uint8_t> OnVersion();
    std::vector<uint8_t> OnBegin (const uint8_t* report);
    std::vector<uint8_t> OnChunk (const uint8_t* report);
    std::vector<uint8_t> OnData (const uint8_t* report);
    std::vector<uint8_t> OnLastSize (const uint8_t* report);
    std::vector<uint8_t> OnSum (const uint8_t* report);
    std::vector<uint8_t> OnPoll (const uint8_t* report);
    std::vector<uint8_t> OnFinish (const uint8_t* report);

    Options m_options;
    std::vector<uint8_t> m_flash;
    std::optional<Chunk> m_chunk;
    std::map<uint8_t, uint32_t> m_nextAddress; // per area target, this session
    std::vector<std::pair<uint32_t, uint32_t>> m_written;
    std::map<int, uint64_t> m_commandCount;
    uint64_t m_reports = 0;
    uint64_t m_violations = 0;
    uint64_t m_finishAccepted = 0;
    uint64_t m_completes = 0;
    uint64_t m_cancels = 0;
    uint8_t m_begunTarget = 0;  // target of this session's begin, 0 before
    uint32_t m_area2End = 0;    // end of area 2's span named by the begin
};
} // namespace devsim
