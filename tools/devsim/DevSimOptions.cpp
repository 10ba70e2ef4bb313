#include "DevSimOptions.h"

#include "app/DeviceProtocol.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace devsim
{
namespace
{
struct CommandNameEntry
{
    const char* name;
    int code;
};

constexpr CommandNameEntry commandNames[] = {
    { "mode", devproto::CMD_GET_MODE },   { "version", devproto::CMD_GET_VERSION },
    { "chunk", devproto::CMD_CHUNK },     { "data", devproto::CMD_DATA },
    { "sum", devproto::CMD_SUM },         { "poll", devproto::CMD_POLL },
    { "complete", devproto::CMD_COMPLETE }, { "last-size", devproto::CMD_LAST_SIZE },
    { "begin", devproto::CMD_BEGIN },     { "cancel", devproto::CMD_CANCEL },
    { "finish", devproto::CMD_FINISH },   { "any", ANY_COMMAND },
};

std::vector<std::string> Split (const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;)
    {
        const auto end = text.find (separator, start);
        parts.push_back (text.substr (start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// Whole-string unsigned number, decimal or 0x-hexadecimal.
bool ParseUnsigned (const std::string& text, uint64_t max, uint64_t& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char* end = nullptr;
    errno = 0;
    const auto parsed = std::strtoull (text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > max)
        return false;
    value = parsed;
    return true;
}

bool ParseMs (const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const auto parsed = std::strtod (text.c_str(), &end);
    if (*end != '\0' || ! (parsed >= 0 && parsed <= 3600e3))
        return false;
    value = parsed;
    return true;
}

bool ParseU32 (const char* text, uint32_t& value)
{
    uint64_t parsed = 0;
    if (! ParseUnsigned (text, 0xFFFFFFFFu, parsed))
        return false;
    value = static_cast<uint32_t> (parsed);
    return true;
}

// Eight hexadecimal digits, most significant byte first: 20170530 is 2017-05-30.
bool ParseDate (const std::string& text, uint8_t date[4])
{
    if (text.size() != 8 || text.find_first_not_of ("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    for (int i = 0; i < 4; ++i)
        date[i] = static_cast<uint8_t> (std::strtoul (text.substr (2 * static_cast<size_t> (i), 2).c_str(), nullptr, 16));
    return true;
}

bool ParseCommand (const std::string& text, int& command)
{
    for (const auto& entry : commandNames)
        if (text == entry.name)
        {
            command = entry.code;
            return true;
        }
    return false;
}

// "N", "N-M", "N-" (from N on) or "*" (every occurrence).
bool ParseOccurrences (const std::string& text, uint64_t& first, uint64_t& last)
{
    constexpr auto unlimited = UINT64_MAX;
    if (text == "*")
    {
        first = 1;
        last = unlimited;
        return true;
    }
    const auto dash = text.find ('-');
    if (dash == std::string::npos)
        return ParseUnsigned (text, unlimited, first) && first > 0 && (last = first, true);
    if (! ParseUnsigned (text.substr (0, dash), unlimited, first) || first == 0)
        return false;
    const auto upper = text.substr (dash + 1);
    if (upper.empty())
    {
        last = unlimited;
        return true;
    }
    return ParseUnsigned (upper, unlimited, last) && last >= first;
}

struct KindEntry
{
    const char* name;
    FaultKind kind;
    bool needsValue;
};

constexpr KindEntry kindNames[] = {
    { "silent", FaultKind::Silent, false }, { "ng", FaultKind::Refuse, true },
    { "echo", FaultKind::WrongEcho, false }, { "code", FaultKind::Code, true },
    { "long", FaultKind::Long, true },      { "short", FaultKind::Short, true },
    { "unplug", FaultKind::Unplug, false }, { "delay", FaultKind::Delay, true },
};

bool ParseFaultValue (FaultRule& rule, const std::string& value, std::string& error)
{
    uint64_t number = 0;
    switch (rule.kind)
    {
        case FaultKind::Refuse:
        case FaultKind::Code:
            if (! ParseUnsigned (value, 0xFF, number))
                return error = "a byte value (0 to 255) is needed", false;
            break;
        case FaultKind::WrongEcho:
            if (! value.empty() && (! ParseUnsigned (value, 0xFF, number) || number < 0xF0))
                return error = "the echo byte must be 0xF0 to 0xFF (lower ones never reach the host)", false;
            break;
        case FaultKind::Long:
            if (! ParseUnsigned (value, 4096, number) || number <= devproto::REPORT_SIZE)
                return error = "a long report has 65 to 4096 bytes", false;
            break;
        case FaultKind::Short:
            if (! ParseUnsigned (value, devproto::REPORT_SIZE - 1, number) || number == 0)
                return error = "a short report has 1 to 63 bytes", false;
            break;
        case FaultKind::Unplug:
            rule.delayMs = -1;
            if (! value.empty() && ! ParseMs (value, rule.delayMs))
                return error = "the time unplugged is a number of milliseconds", false;
            break;
        case FaultKind::Delay:
            if (! ParseMs (value, rule.delayMs))
                return error = "the delay is a number of milliseconds", false;
            break;
        case FaultKind::Silent:
            break;
    }
    rule.value = static_cast<int> (number);
    return true;
}

enum OptionId
{
    OPT_DIR = 1000, OPT_NAME, OPT_VENDOR, OPT_PRODUCT, OPT_RELEASE, OPT_LOCATION,
    OPT_DATE, OPT_VERSION, OPT_NO_VERSION, OPT_BUSY, OPT_LATENCY, OPT_FAULT,
    OPT_FLASH_OUT, OPT_VERIFY, OPT_LOG, OPT_LOG_TIMES, OPT_HELP,
};

bool ApplyOption (int id, const std::string& arg, Options& options, std::string& error)
{
    uint64_t number = 0;
    switch (id)
    {
        case OPT_DIR: options.dir = arg; return true;
        case OPT_NAME:
            if (arg.empty() || arg.find ('/') != std::string::npos)
                return error = "--name: a plain file name is needed", false;
            options.name = arg;
            return true;
        case OPT_VENDOR: return ParseU32 (arg.c_str(), options.vendorId) || (error = "--vendor: not a number", false);
        case OPT_PRODUCT: return ParseU32 (arg.c_str(), options.productId) || (error = "--product: not a number", false);
        case OPT_RELEASE: return ParseU32 (arg.c_str(), options.release) || (error = "--release: not a number", false);
        case OPT_LOCATION: return ParseU32 (arg.c_str(), options.location) || (error = "--location: not a number", false);
        case OPT_DATE: return ParseDate (arg, options.date) || (error = "--fw-date: eight hexadecimal digits are needed", false);
        case OPT_VERSION:
            if (arg.size() != 4)
                return error = "--fw-version: exactly four characters are needed", false;
            std::memcpy (options.version, arg.data(), 4);
            return true;
        case OPT_NO_VERSION: std::memset (options.version, 0xFF, 4); return true;
        case OPT_BUSY:
            if (! ParseUnsigned (arg, 1000000, number))
                return error = "--busy: a count is needed", false;
            options.busyPolls = static_cast<int> (number);
            return true;
        case OPT_LATENCY: return ParseMs (arg, options.latencyMs) || (error = "--latency: a number of milliseconds is needed", false);
        case OPT_FAULT:
        {
            FaultRule rule;
            if (! ParseFault (arg, rule, error))
                return error = "--fault " + arg + ": " + error, false;
            options.faults.push_back (rule);
            return true;
        }
        case OPT_FLASH_OUT: options.flashOut = arg; return true;
        case OPT_VERIFY: options.verifyFile = arg; return true;
        case OPT_LOG: options.logFile = arg; return true;
        case OPT_LOG_TIMES: options.logTimes = true; return true;
        default: return error = "unknown option", false;
    }
}
} // namespace

const char* CommandName (int command)
{
    for (const auto& entry : commandNames)
        if (entry.code == command)
            return entry.name;
    return nullptr;
}

bool ParseFault (const std::string& text, FaultRule& rule, std::string& error)
{
    const auto parts = Split (text, ':');
    if (parts.size() < 3 || parts.size() > 4)
        return error = "expected COMMAND:OCCURRENCES:KIND[:VALUE]", false;
    if (! ParseCommand (parts[0], rule.command))
        return error = "unknown command '" + parts[0] + "'", false;
    if (! ParseOccurrences (parts[1], rule.first, rule.last))
        return error = "bad occurrences '" + parts[1] + "' (N, N-M, N- or *)", false;

    const KindEntry* kind = nullptr;
    for (const auto& entry : kindNames)
        if (parts[2] == entry.name)
            kind = &entry;
    if (kind == nullptr)
        return error = "unknown fault '" + parts[2] + "'", false;
    rule.kind = kind->kind;
    const auto value = parts.size() == 4 ? parts[3] : std::string();
    if (kind->needsValue && value.empty())
        return error = std::string ("fault '") + kind->name + "' needs a value", false;
    if (! kind->needsValue && ! value.empty() && kind->kind == FaultKind::Silent)
        return error = "fault 'silent' takes no value", false;
    return ParseFaultValue (rule, value, error);
}

ParseResult ParseOptions (int argc, char** argv, Options& options, std::string& error)
{
    static const option longOptions[] = {
        { "dir", required_argument, nullptr, OPT_DIR },
        { "name", required_argument, nullptr, OPT_NAME },
        { "vendor", required_argument, nullptr, OPT_VENDOR },
        { "product", required_argument, nullptr, OPT_PRODUCT },
        { "release", required_argument, nullptr, OPT_RELEASE },
        { "location", required_argument, nullptr, OPT_LOCATION },
        { "fw-date", required_argument, nullptr, OPT_DATE },
        { "fw-version", required_argument, nullptr, OPT_VERSION },
        { "no-version", no_argument, nullptr, OPT_NO_VERSION },
        { "busy", required_argument, nullptr, OPT_BUSY },
        { "latency", required_argument, nullptr, OPT_LATENCY },
        { "fault", required_argument, nullptr, OPT_FAULT },
        { "flash-out", required_argument, nullptr, OPT_FLASH_OUT },
        { "verify", required_argument, nullptr, OPT_VERIFY },
        { "log", required_argument, nullptr, OPT_LOG },
        { "log-times", no_argument, nullptr, OPT_LOG_TIMES },
        { "help", no_argument, nullptr, OPT_HELP },
        { nullptr, 0, nullptr, 0 },
    };

    if (const char* env = std::getenv ("NUBLA_VHID_DIR"))
        options.dir = env;

    opterr = 0;
    optind = 1;
    for (;;)
    {
        const int id = getopt_long (argc, argv, "", longOptions, nullptr);
        if (id == -1)
            break;
        if (id == OPT_HELP)
            return ParseResult::Help;
        if (id == '?' || id == ':')
        {
            error = std::string ("unknown option or missing value: ") + argv[optind - 1];
            return ParseResult::Error;
        }
        if (! ApplyOption (id, optarg != nullptr ? optarg : "", options, error))
            return ParseResult::Error;
    }
    if (optind < argc)
        return error = std::string ("unexpected argument: ") + argv[optind], ParseResult::Error;
    if (options.dir.empty())
        return error = "no folder: give --dir or set NUBLA_VHID_DIR", ParseResult::Error;
    return ParseResult::Run;
}

const char* UsageText()
{
    return R"(Usage: nubla-devsim [OPTIONS]

Plays one MARVEK NUBLA device over the virtual HID transport: listens on
DIR/NAME.sock, answers every command of the update protocol, and holds a 2 MiB
flash (erased to 0xFF at start). Ends on SIGINT or SIGTERM, removing its socket,
then prints a summary (reports received, protocol violations, written ranges).

Device:
  --dir DIR            folder of virtual devices (default: $NUBLA_VHID_DIR)
  --name NAME          socket name without .sock (default dev0)
  --vendor N --product N --release N --location N
                       descriptor values (default 0xE47A 0x0025 0x0102 0x14100000)
  --fw-date YYYYMMDD   firmware build date as 8 hex digits, sent as BCD bytes
                       unchecked, so malformed dates can be played (default 20170530)
  --fw-version TEXT    firmware version text, exactly 4 characters (default 1.02)
  --no-version         the version text is 0xFF 0xFF 0xFF 0xFF (no version)
  --busy N             answer each chunk's first N polls busy (0x83 and 0x84
                       in turn), then written (default 0)
  --latency MS         answer every report MS milliseconds after it arrived

Faults (repeatable; the first rule that matches a report applies):
  --fault COMMAND:OCCURRENCES:KIND[:VALUE]
    COMMAND      mode version begin chunk data last-size sum poll finish
                 complete cancel, or any (every report)
    OCCURRENCES  N, N-M, N- (N and all later) or * - counted per command over
                 the emulator's life, from 1
    KIND         silent        no answer (the command is lost)
                 ng:R          refuse with RSP_NG and reason R (not applied)
                 code:C        answer with response code C (not applied)
                 echo[:B]      the right answer with byte 0 = B (default the
                               command's target xor 0x08)
                 long:N        the right answer padded with 0xA5 to N bytes (65-4096)
                 short:N       the right answer cut to N bytes (1-63)
                 unplug[:MS]   no answer; close the connection and remove the
                               socket; plug in again after MS ms (default: never)
                 delay:MS      the right answer after MS ms
  Example: --fault finish:1-202:ng:1 --fault sum:2:ng:2 --fault poll:3:unplug:500

Results:
  --flash-out FILE     write the 2 MiB flash to FILE at the end
  --verify FILE        at the end, compare every written byte with the update
                       file FILE (same addresses); print "verify: ok" or the
                       first difference
  --log FILE           write one line per received report: its bytes in hex
  --log-times          start each log line with the milliseconds since start
  --help               this text

Exit status: 0 clean; 1 a protocol violation or a verify difference; 2 bad
options; 3 the socket could not be set up.
)";
}
} // namespace devsim
