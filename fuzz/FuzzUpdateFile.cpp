// libFuzzer target for the update file checks. Each input is used three ways:
//  - as raw bytes for the checksum, held against the bitwise reference;
//  - as text for the version rule, held against the rule spelt out byte by byte;
//  - as edits to a valid 2 MiB image (field bytes, scattered patches, optionally a fresh
//    checksum), whose validation result is held against the rules applied independently.
// Any out-of-bounds read or a disagreement aborts.

#include "app/MainComponent.h"
#include "update/CrcReference.h"
#include "update/UpdateFile.h"
#include "update/UpdateImage.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
void Require (bool condition)
{
    if (! condition)
        std::abort();
}

// The valid image every input starts from; inputs edit a working copy, which is put back
// byte by byte afterwards instead of copying 2 MiB for every input.
const std::vector<uint8_t>& BaseImage()
{
    static const std::vector<uint8_t> image = []
    {
        UpdImageParams params;
        params.version = "1.05";
        params.dateWord = 0x20170530;
        params.payload.setSize (static_cast<size_t> (UPD_AREAS_END));
        auto* bytes = static_cast<uint8_t*> (params.payload.getData());
        for (size_t i = 0; i < params.payload.getSize(); ++i)
            bytes[i] = static_cast<uint8_t> (i * 2654435761u >> 24);
        const auto block = BuildUpdImage (params);
        const auto* begin = static_cast<const uint8_t*> (block.getData());
        return std::vector<uint8_t> (begin, begin + block.getSize());
    }();
    return image;
}

bool VersionByteOk (uint8_t b) { return b >= 0x30 && b <= 0x7A; }

// The date and version rules, written out independently of the program's code.
bool FieldsPass (const uint8_t* image)
{
    const auto* d = image + UPD_DATE_OFFSET;
    const auto* v = image + UPD_VERSION_OFFSET;
    return d[0] <= 0x20 && d[1] <= 0x50 && d[2] <= 0x12 && d[3] <= 0x31
        && VersionByteOk (v[0]) && v[1] == '.' && VersionByteOk (v[2]) && VersionByteOk (v[3]);
}

void FuzzChecksum (const uint8_t* data, size_t size)
{
    Require (MainComponent::CalcCRC (data, static_cast<int64_t> (size)) == ReferenceCrc (data, static_cast<int64_t> (size)));
}

void FuzzVersionText (const uint8_t* data, size_t size)
{
    const auto text = juce::String::fromUTF8 (reinterpret_cast<const char*> (data), static_cast<int> (size));
    const bool expected = text.length() >= 4 && text[0] >= 0x30 && text[0] <= 0x7A && text[1] == '.'
                       && text[2] >= 0x30 && text[2] <= 0x7A && text[3] >= 0x30 && text[3] <= 0x7A;
    Require (MainComponent::CheckSysVer (text) == expected);
}

void FuzzRawBlock (const uint8_t* data, size_t size)
{
    uint32_t date = 0;
    juce::String version;
    Require (ValidateUpdImage (data, static_cast<int64_t> (size), static_cast<int32_t> (size), &date, version)
             == ERR_FILE_SIZE);
}

// Layout of the input: 4 version bytes, 4 date bytes, 2 checksum bytes, 1 flag byte
// (bit 0: store a fresh checksum), then patches of 4 bytes (3 offset bytes, 1 value).
void FuzzImage (const uint8_t* data, size_t size)
{
    if (size < 11)
        return;
    const auto& base = BaseImage();
    static std::vector<uint8_t> image = base;
    std::vector<size_t> touched;
    const auto set = [&] (size_t offset, uint8_t value)
    {
        touched.push_back (offset);
        image[offset] = value;
    };

    for (size_t i = 0; i < 4; ++i)
    {
        set (static_cast<size_t> (UPD_VERSION_OFFSET) + i, data[i]);
        set (static_cast<size_t> (UPD_DATE_OFFSET) + i, data[4 + i]);
    }
    for (size_t i = 11; i + 4 <= size; i += 4)
        set ((size_t { data[i] } << 16 | size_t { data[i + 1] } << 8 | data[i + 2]) % image.size(), data[i + 3]);

    // The checksum only counts once the fields pass; computing it only then keeps the
    // many inputs that fail early quick.
    set (UPD_FILE_SIZE - 2, data[8]);
    set (UPD_FILE_SIZE - 1, data[9]);
    uint32_t expected = ERR_FILE_VERSION;
    if (FieldsPass (image.data()))
    {
        const auto crc = MainComponent::CalcCRC (image.data(), UPD_FILE_SIZE - 2);
        if ((data[10] & 1) != 0)
        {
            set (UPD_FILE_SIZE - 2, static_cast<uint8_t> (crc & 0xFF));
            set (UPD_FILE_SIZE - 1, static_cast<uint8_t> (crc >> 8));
        }
        const bool matches = (image[UPD_FILE_SIZE - 2] | (image[UPD_FILE_SIZE - 1] << 8)) == crc;
        expected = matches ? uint32_t { KIND_VALID } : uint32_t { ERR_FILE_CRC };
    }

    uint32_t date = 0xDEADBEEF;
    juce::String version = "before";
    const auto result = ValidateUpdImage (image.data(), static_cast<int64_t> (image.size()), UPD_FILE_SIZE, &date, version);
    Require (result == expected);
    Require (date == juce::ByteOrder::bigEndianInt (image.data() + UPD_DATE_OFFSET));
    // The version text is stored once the date has passed, whatever comes after.
    Require (version == (IsDateWordInRange (date) ? VersionTextOf (image.data() + UPD_VERSION_OFFSET) : juce::String ("before")));

    for (auto offset : touched)
        image[offset] = base[offset];
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    FuzzChecksum (data, size);
    FuzzVersionText (data, size);
    FuzzRawBlock (data, size);
    FuzzImage (data, size);
    return 0;
}
