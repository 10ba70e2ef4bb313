#pragma once

#include <cstdint>

// The device command protocol: one 64-byte output report (command) answered by one
// 64-byte input report (response). Shared by the update engine and the device emulator.
//
// Output report: byte 0 target, byte 1 command code, bytes 2.. parameters (little-endian).
// Input report:  byte 0 echo of the command's target, byte 1 response code, byte 2.. data.
namespace devproto
{
constexpr int REPORT_SIZE = 64;

// Byte 0 of a command to the device as a whole; area commands carry the area's target.
constexpr uint8_t TARGET_DEVICE = 0xF0;

enum Command : uint8_t
{
    CMD_GET_MODE    = 0x00,
    CMD_GET_VERSION = 0x01,
    CMD_CHUNK       = 0x02, // addr (2-5), 0xFF (6), len (7-10)
    CMD_DATA        = 0x03, // up to DATA_PER_REPORT payload bytes from byte 2
    CMD_SUM         = 0x04, // byte sum of the chunk (2-5)
    CMD_POLL        = 0x05,
    CMD_COMPLETE    = 0x06, // not answered
    CMD_LAST_SIZE   = 0x07, // payload count of the chunk's last data report (2)
    CMD_BEGIN       = 0x08, // addr (2-5), 0xFF (6), len (7-10)
    CMD_CANCEL      = 0x09,
    CMD_FINISH      = 0x0A,
};

enum Response : uint8_t
{
    RSP_ACK     = 0x80,
    RSP_NG      = 0x81, // reason in byte 2
    RSP_VERSION = 0x82, // date in bytes 2-5 (BCD, most significant first), text in 7-10
    RSP_BUSY1   = 0x83,
    RSP_BUSY2   = 0x84,
    RSP_WRITTEN = 0x85,
};

// RSP_NG reasons with a meaning of their own; any command may be refused with
// NG_PROTOCOL.
constexpr uint8_t NG_PROTOCOL = 5;

// Byte positions.
constexpr int POS_TARGET = 0;
constexpr int POS_CODE = 1;
constexpr int POS_PARAM = 2;        // first parameter byte; the reason of RSP_NG
constexpr int POS_RANGE_MARK = 6;   // 0xFF between addr and len of CMD_CHUNK and CMD_BEGIN
constexpr int POS_RANGE_LEN = 7;
constexpr int POS_VERSION_DATE = 2; // four BCD bytes
constexpr int POS_VERSION_TEXT = 7; // four characters
constexpr uint8_t RANGE_MARK = 0xFF;

constexpr int CHUNK_SIZE = 0x20000;
constexpr int DATA_PER_REPORT = REPORT_SIZE - POS_PARAM; // 62

inline void PutLE32 (uint8_t* p, uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t> (v >> (8 * i));
}

inline uint32_t GetLE32 (const uint8_t* p) noexcept
{
    return static_cast<uint32_t> (p[0]) | static_cast<uint32_t> (p[1]) << 8
         | static_cast<uint32_t> (p[2]) << 16 | static_cast<uint32_t> (p[3]) << 24;
}
} // namespace devproto
