#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devsim
{
// Matches every command in a fault rule.
constexpr int ANY_COMMAND = -1;

enum class FaultKind
{
    Silent,    // no answer
    Refuse,    // RSP_NG with a reason
    WrongEcho, // the right answer with a wrong byte 0
    Code,      // an answer with the given response code
    Long,      // the right answer, sent as a longer report
    Short,     // the right answer, cut to a shorter report
    Unplug,    // no answer; unplug, and plug in again after a delay
    Delay,     // the right answer, after a delay
};

// One injected fault: at the occurrences first..last (1-based, counted over the
// emulator's life) of one command, or of every report with ANY_COMMAND.
struct FaultRule
{
    int command = ANY_COMMAND;
    uint64_t first = 1;
    uint64_t last = 1;
    FaultKind kind = FaultKind::Silent;
    int value = 0;      // reason, response code, echo byte or report length
    double delayMs = 0; // Delay: the pause; Unplug: the time unplugged (< 0: for good)
};

struct Options
{
    std::string dir;
    std::string name = "dev0";
    uint32_t vendorId = 0xE47A;
    uint32_t productId = 0x0025;
    uint32_t release = 0x0102;
    uint32_t location = 0x14100000;
    uint8_t date[4] = { 0x20, 0x17, 0x05, 0x30 };
    uint8_t version[4] = { '1', '.', '0', '2' };
    int busyPolls = 0;
    double latencyMs = 0;
    std::vector<FaultRule> faults;
    std::string flashOut;
    std::string verifyFile;
    std::string logFile;
    bool logTimes = false;
};

enum class ParseResult
{
    Run,
    Help,
    Error,
};

// Parses the command line; on Error, error says why.
ParseResult ParseOptions (int argc, char** argv, Options& options, std::string& error);

// Parses one --fault argument "COMMAND:OCCURRENCES:KIND[:VALUE]".
bool ParseFault (const std::string& text, FaultRule& rule, std::string& error);

const char* UsageText();

// Name of a command code as the options spell it ("mode", "data", ...), or nullptr.
const char* CommandName (int command);
} // namespace devsim
