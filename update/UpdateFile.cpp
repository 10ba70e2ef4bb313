#include "update/UpdateFile.h"

#include "app/MainComponent.h"

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR), sliced by
// sixteen: kCrcTables[k][b] is the checksum of byte b followed by k zero bytes, so sixteen
// input bytes fold into the register with sixteen independent lookups.
constexpr int CRC_SLICE = 16;
using CrcTables = std::array<std::array<uint16_t, 256>, CRC_SLICE>;

constexpr CrcTables MakeCrcTables()
{
    CrcTables t {};
    for (unsigned b = 0; b < 256; ++b)
    {
        unsigned crc = b << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
        t[0][b] = static_cast<uint16_t> (crc);
    }
    for (size_t k = 1; k < t.size(); ++k)
        for (size_t b = 0; b < 256; ++b)
            t[k][b] = static_cast<uint16_t> ((t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 8]);
    return t;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

// Opens the file for reading only if it is a regular file, so a FIFO or a device node is
// never opened (opening one may block or act on a device). Returns -1 otherwise.
int OpenRegularFile (const juce::File& file)
{
    const auto path = file.getFullPathName();
    struct stat st {};
    if (::stat (path.toRawUTF8(), &st) != 0 || ! S_ISREG (st.st_mode))
        return -1;
    // O_NONBLOCK: should the path have been swapped for a FIFO since the test, the open
    // still returns at once and the check after it refuses the file.
    return ::open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

class ScopedFd
{
public:
    explicit ScopedFd (int fd) noexcept : m_fd (fd) {}
    ~ScopedFd() { if (m_fd >= 0) ::close (m_fd); }
    int get() const noexcept { return m_fd; }

private:
    int m_fd;
    JUCE_DECLARE_NON_COPYABLE (ScopedFd)
};

// Reads up to length bytes; returns how many arrived before the end, -1 on an error.
int64_t ReadFully (int fd, uint8_t* dest, int64_t length)
{
    int64_t done = 0;
    while (done < length)
    {
        const auto n = ::read (fd, dest + done, static_cast<size_t> (length - done));
        if (n == 0)
            break;
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += n;
    }
    return done;
}
} // namespace

bool IsDateWordInRange (uint32_t dateWord) noexcept
{
    const auto century = (dateWord >> 24) & 0xFF;
    const auto year    = (dateWord >> 16) & 0xFF;
    const auto month   = (dateWord >> 8) & 0xFF;
    const auto day     = dateWord & 0xFF;
    return century <= 0x20 && year <= 0x50 && month <= 0x12 && day <= 0x31;
}

juce::String VersionTextOf (const uint8_t* versionField)
{
    juce::String text;
    for (int i = 0; i < 4; ++i)
        text += juce::String::charToString (static_cast<juce::juce_wchar> (versionField[i]));
    return text;
}

uint32_t ValidateUpdImage (const uint8_t* data, int64_t size, int32_t expectedSize,
                           uint32_t* outDate, juce::String& outVersion)
{
    // An expected size too small for the layout would put the fields outside the block.
    if (expectedSize < UPD_MIN_EXPECTED_SIZE || size != expectedSize)
        return ERR_FILE_SIZE;

    const auto* date = data + UPD_DATE_OFFSET;
    const auto dateWord = (uint32_t { date[0] } << 24) | (uint32_t { date[1] } << 16)
                        | (uint32_t { date[2] } << 8) | uint32_t { date[3] };
    if (outDate != nullptr)
        *outDate = dateWord;
    if (! IsDateWordInRange (dateWord))
        return ERR_FILE_VERSION;

    outVersion = VersionTextOf (data + UPD_VERSION_OFFSET);
    if (! MainComponent::CheckSysVer (outVersion))
        return ERR_FILE_VERSION;

    const auto stored = static_cast<uint16_t> (data[expectedSize - 2] | (data[expectedSize - 1] << 8));
    return MainComponent::CalcCRC (data, expectedSize - 2) == stored ? uint32_t { KIND_VALID }
                                                                     : uint32_t { ERR_FILE_CRC };
}

const char* FileResultName (uint32_t result) noexcept
{
    switch (result)
    {
        case KIND_VALID:       return "KIND_VALID";
        case ERR_FILE_MISSING: return "ERR_FILE_MISSING";
        case ERR_FILE_READ:    return "ERR_FILE_READ";
        case ERR_FILE_SIZE:    return "ERR_FILE_SIZE";
        case ERR_FILE_VERSION: return "ERR_FILE_VERSION";
        case ERR_FILE_CRC:     return "ERR_FILE_CRC";
        default:               return "UNKNOWN";
    }
}

// The file's size is taken before anything is read, so a file of another size (however
// large) is refused without being loaded; only a regular file is opened at all.
uint32_t MainComponent::ParseUpdFile (const juce::File& file, int32_t expectedSize,
                                      uint32_t* outDate, juce::String& outVersion)
{
    if (! file.exists())
        return ERR_FILE_MISSING;

    const ScopedFd fd (OpenRegularFile (file));
    struct stat st {};
    if (fd.get() < 0 || ::fstat (fd.get(), &st) != 0 || ! S_ISREG (st.st_mode))
        return ERR_FILE_READ;
    if (st.st_size != expectedSize || expectedSize < UPD_MIN_EXPECTED_SIZE)
        return ERR_FILE_SIZE;

    // One byte more than expected tells a file that grew since fstat.
    juce::HeapBlock<uint8_t> block (static_cast<size_t> (expectedSize) + 1);
    if (block == nullptr)
        return ERR_FILE_READ;
    const auto got = ReadFully (fd.get(), block.get(), int64_t { expectedSize } + 1);
    if (got < expectedSize)
        return ERR_FILE_READ;
    return ValidateUpdImage (block.get(), got, expectedSize, outDate, outVersion);
}

bool MainComponent::CheckSysVer (const juce::String& version)
{
    const auto inRange = [] (juce::juce_wchar c) { return c >= 0x30 && c <= 0x7A; };
    return version.length() >= 4 && inRange (version[0]) && version[1] == 0x2E
        && inRange (version[2]) && inRange (version[3]);
}

uint16_t MainComponent::CalcCRC (const uint8_t* data, int64_t length)
{
    uint32_t crc = 0;
    int64_t i = 0;
    for (; i + CRC_SLICE <= length; i += CRC_SLICE)
    {
        // The register's two bytes meet the first two data bytes; each byte then
        // contributes its checksum followed by as many zero bytes as come after it.
        const auto* p = data + i;
        uint32_t next = kCrcTables[CRC_SLICE - 1][p[0] ^ (crc >> 8)] ^ kCrcTables[CRC_SLICE - 2][p[1] ^ (crc & 0xFF)];
        for (int k = 2; k < CRC_SLICE; ++k)
            next ^= kCrcTables[static_cast<size_t> (CRC_SLICE - 1 - k)][p[k]];
        crc = next;
    }
    for (; i < length; ++i)
        crc = ((crc << 8) ^ kCrcTables[0][(crc >> 8) ^ data[i]]) & 0xFFFF;
    return static_cast<uint16_t> (crc);
}
