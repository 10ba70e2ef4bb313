#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

// Layout of the 2 MiB update file and the checks it must pass. MainComponent's
// ParseUpdFile, CheckSysVer and CalcCRC are the program's entry points; the pieces here
// are shared with the image tool, the tests, the benchmark and the fuzz target.

constexpr int32_t UPD_FILE_SIZE      = 0x200000;
constexpr int64_t UPD_VERSION_OFFSET = 0x1D0000;
constexpr int64_t UPD_DATE_OFFSET    = 0x1DFFFC;
constexpr int64_t UPD_AREAS_END      = 0x1E0000; // the areas cover 0 .. UPD_AREAS_END - 1

// The smallest expected size the layout fits in: the date field, then the checksum.
constexpr int32_t UPD_MIN_EXPECTED_SIZE = static_cast<int32_t> (UPD_DATE_OFFSET + 4 + 2);

// One update area: where it lies in the file, where it goes in the device, and the
// target byte the device commands carry for it.
struct UpdArea
{
    uint8_t target;
    int64_t size;
    int64_t offset;
    int64_t address;
};

constexpr UpdArea UPD_AREAS[3] = {
    { 0xF1, 0x090000, 0x000000, 0x000000 },
    { 0xF2, 0x140000, 0x090000, 0x090000 },
    { 0xF7, 0x010000, 0x1D0000, 0x1D0000 },
};

// Upper bounds of the four packed-BCD date bytes: century, year, month, day.
bool IsDateWordInRange (uint32_t dateWord) noexcept;

// The version text of the four bytes at the version field; a zero byte adds nothing.
juce::String VersionTextOf (const uint8_t* versionField);

// Checks 3 to 6 of the validation on bytes already in memory: size, date, version text,
// checksum. Writes outDate and outVersion exactly as ParseUpdFile does.
uint32_t ValidateUpdImage (const uint8_t* data, int64_t size, int32_t expectedSize,
                           uint32_t* outDate, juce::String& outVersion);

// "ERR_FILE_CRC" and the like for a validation result; "KIND_VALID" for 1.
const char* FileResultName (uint32_t result) noexcept;
