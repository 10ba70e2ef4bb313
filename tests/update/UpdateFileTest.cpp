#include "update/CrcReference.h"
#include "update/UpdateFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <optional>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fixtures;

namespace
{
constexpr uint32_t DATE_BEFORE = 0xDEADBEEF;
const juce::String VERSION_BEFORE = "before";

using ByteList = std::vector<uint8_t>;

void SetBytes (juce::MemoryBlock& image, int64_t offset, const ByteList& values)
{
    for (auto v : values)
        Bytes (image)[offset++] = v;
}

void SetDate (juce::MemoryBlock& image, const ByteList& bytes) { SetBytes (image, UPD_DATE_OFFSET, bytes); }
void SetVersion (juce::MemoryBlock& image, const ByteList& bytes) { SetBytes (image, UPD_VERSION_OFFSET, bytes); }

struct ParseOutcome
{
    uint32_t result;
    uint32_t date;
    juce::String version;
};

ParseOutcome Parse (const juce::File& file)
{
    ParseOutcome o { 0, DATE_BEFORE, VERSION_BEFORE };
    o.result = MainComponent::ParseUpdFile (file, UPD_FILE_SIZE, &o.date, o.version);
    return o;
}
} // namespace

TEST (UpdateFile, ValidFileGivesOneDateAndVersion)
{
    TempFolder folder;
    const auto o = Parse (WriteValid (folder / "valid.bin"));
    EXPECT_EQ (o.result, 1u);
    EXPECT_EQ (o.date, 0x20170530u);
    EXPECT_EQ (o.version, "1.05");
    EXPECT_EQ (o.version.length(), 4);
}

// Every kind of result, with what the two out-parameters hold afterwards: the date word
// is stored from the date test on, the version text from the version test on.
TEST (UpdateFile, ResultsAndOutParameters)
{
    enum Stored { NEITHER, DATE_ONLY, BOTH };
    struct Case
    {
        const char* name;
        std::function<void (juce::MemoryBlock&)> change; // applied to a valid image, then resealed
        uint32_t result;
        Stored stored;
        bool reseal = true;
    };
    const auto resize = [] (size_t size) { return [size] (juce::MemoryBlock& m) { m.setSize (size, true); }; };
    const auto date = [] (ByteList b) { return [b] (juce::MemoryBlock& m) { SetDate (m, b); }; };
    const auto version = [] (ByteList b) { return [b] (juce::MemoryBlock& m) { SetVersion (m, b); }; };

    const Case cases[] = {
        { "valid", [] (juce::MemoryBlock&) {}, 1, BOTH },
        { "checksum bytes swapped", [] (juce::MemoryBlock& m) { std::swap (Bytes (m)[UPD_FILE_SIZE - 2], Bytes (m)[UPD_FILE_SIZE - 1]); },
          ERR_FILE_CRC, BOTH, false },
        { "one area byte changed", [] (juce::MemoryBlock& m) { Bytes (m)[0x12345] ^= 0x01; }, ERR_FILE_CRC, BOTH, false },
        { "0x1FFFFF bytes", resize (0x1FFFFF), ERR_FILE_SIZE, NEITHER, false },
        { "0x200001 bytes", resize (0x200001), ERR_FILE_SIZE, NEITHER, false },
        { "empty", resize (0), ERR_FILE_SIZE, NEITHER, false },
        { "date at every bound", date ({ 0x20, 0x50, 0x12, 0x31 }), 1, BOTH },
        { "date zero", date ({ 0x00, 0x00, 0x00, 0x00 }), 1, BOTH },
        { "date of non-decimal nibbles", date ({ 0x1F, 0x4A, 0x0F, 0x2F }), 1, BOTH },
        { "day 0x32", date ({ 0x20, 0x17, 0x05, 0x32 }), ERR_FILE_VERSION, DATE_ONLY },
        { "month 0x13", date ({ 0x20, 0x17, 0x13, 0x30 }), ERR_FILE_VERSION, DATE_ONLY },
        { "year 0x51", date ({ 0x20, 0x51, 0x05, 0x30 }), ERR_FILE_VERSION, DATE_ONLY },
        { "century 0x21", date ({ 0x21, 0x17, 0x05, 0x30 }), ERR_FILE_VERSION, DATE_ONLY },
        { "date byte 0xFF", date ({ 0x20, 0x17, 0x05, 0xFF }), ERR_FILE_VERSION, DATE_ONLY },
        { "version 0.00", version ({ '0', '.', '0', '0' }), 1, BOTH },
        { "version 9.99", version ({ '9', '.', '9', '9' }), 1, BOTH },
        { "version A.bz", version ({ 'A', '.', 'b', 'z' }), 1, BOTH },
        { "version z.00", version ({ 'z', '.', '0', '0' }), 1, BOTH },
        { "version :._@ (between the ranges)", version ({ ':', '.', '_', '@' }), 1, BOTH },
        { "version 1,05", version ({ '1', ',', '0', '5' }), ERR_FILE_VERSION, BOTH },
        { "version {.00", version ({ '{', '.', '0', '0' }), ERR_FILE_VERSION, BOTH },
        { "version 10.5", version ({ '1', '0', '.', '5' }), ERR_FILE_VERSION, BOTH },
        { "version 1.0 and a zero byte", version ({ '1', '.', '0', 0x00 }), ERR_FILE_VERSION, BOTH },
        { "version with a zero byte inside", version ({ '1', 0x00, '.', '5' }), ERR_FILE_VERSION, BOTH },
        { "version 1.0 and 0x80", version ({ '1', '.', '0', 0x80 }), ERR_FILE_VERSION, BOTH },
        { "version /.00", version ({ '/', '.', '0', '0' }), ERR_FILE_VERSION, BOTH },
    };

    TempFolder folder;
    auto validImage = ValidImage();
    ASSERT_NE (Bytes (validImage)[UPD_FILE_SIZE - 2], Bytes (validImage)[UPD_FILE_SIZE - 1])
        << "the fixture's two checksum bytes must differ for the swap to show";

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto image = validImage;
        c.change (image);
        if (c.reseal)
            SealUpdImage (image);

        const auto o = Parse (Write (folder / "case.bin", image));
        EXPECT_EQ (o.result, c.result);

        const auto fileDate = image.getSize() == static_cast<size_t> (UPD_FILE_SIZE)
                                ? juce::ByteOrder::bigEndianInt (Bytes (image) + UPD_DATE_OFFSET) : 0u;
        EXPECT_EQ (o.date, c.stored == NEITHER ? DATE_BEFORE : fileDate);
        const auto fileVersion = c.stored == BOTH ? VersionTextOf (Bytes (image) + UPD_VERSION_OFFSET) : VERSION_BEFORE;
        EXPECT_EQ (o.version, fileVersion);
    }
}

TEST (UpdateFile, MissingPathAndFolder)
{
    TempFolder folder;
    const auto missing = Parse (folder / "nothing.bin");
    EXPECT_EQ (missing.result, static_cast<uint32_t> (ERR_FILE_MISSING));
    EXPECT_EQ (missing.date, DATE_BEFORE);
    EXPECT_EQ (missing.version, VERSION_BEFORE);

    const auto folderResult = Parse (folder.get());
    EXPECT_EQ (folderResult.result, static_cast<uint32_t> (ERR_FILE_READ));
    EXPECT_EQ (folderResult.date, DATE_BEFORE);
    EXPECT_EQ (folderResult.version, VERSION_BEFORE);
}

// A file of another size is refused from its size alone: a sparse file of 64 GiB would
// take minutes and more memory than the machine has if it were loaded first.
TEST (UpdateFile, HugeFileRefusedBySizeWithoutLoading)
{
    TempFolder folder;
    const auto huge = folder / "mvkqx5__v999.bin";
    ASSERT_TRUE (huge.create().wasOk());
    if (::truncate (huge.getFullPathName().toRawUTF8(), int64_t { 64 } << 30) != 0)
        GTEST_SKIP() << "this file system cannot hold a sparse file of 64 GiB";

    const auto start = std::chrono::steady_clock::now();
    const auto o = Parse (huge);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ (o.result, static_cast<uint32_t> (ERR_FILE_SIZE));
    EXPECT_LT (elapsed, std::chrono::milliseconds (200));
    EXPECT_EQ (o.date, DATE_BEFORE);
}

// A FIFO with no writer would block an open or a read for ever; it is refused as
// unreadable at once.
TEST (UpdateFile, FifoIsUnreadableWithoutBlocking)
{
    TempFolder folder;
    const auto fifo = folder / "mvkqx5__v105.bin";
    ASSERT_EQ (::mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0) << std::strerror (errno);

    auto parsed = std::async (std::launch::async, [&] { return Parse (fifo); });
    if (parsed.wait_for (std::chrono::seconds (5)) != std::future_status::ready)
    {
        // Release the blocked reader so the test ends, then fail.
        const int writer = ::open (fifo.getFullPathName().toRawUTF8(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close (writer);
        parsed.wait();
        FAIL() << "the check blocked on a FIFO";
    }
    const auto o = parsed.get();
    EXPECT_EQ (o.result, static_cast<uint32_t> (ERR_FILE_READ));
    EXPECT_EQ (o.date, DATE_BEFORE);
}

TEST (UpdateFile, DeviceNodesAreUnreadable)
{
    int checked = 0;
    for (const char* path : { "/dev/null", "/dev/zero", "/dev/urandom" })
    {
        struct stat st {};
        if (::stat (path, &st) != 0 || ! S_ISCHR (st.st_mode))
            continue;
        ++checked;
        EXPECT_EQ (Parse (juce::File (path)).result, static_cast<uint32_t> (ERR_FILE_READ)) << path;
    }
    if (checked == 0)
        GTEST_SKIP() << "no character devices under /dev here";
}

// An expected size too small for the layout must not make the checks read past the block.
TEST (UpdateFile, ExpectedSizeSmallerThanLayoutIsASizeError)
{
    TempFolder folder;
    juce::MemoryBlock small (16, true);
    const auto file = Write (folder / "small.bin", small);
    uint32_t date = DATE_BEFORE;
    juce::String version = VERSION_BEFORE;
    EXPECT_EQ (MainComponent::ParseUpdFile (file, 16, &date, version), static_cast<uint32_t> (ERR_FILE_SIZE));
    EXPECT_EQ (MainComponent::ParseUpdFile (file, -1, &date, version), static_cast<uint32_t> (ERR_FILE_SIZE));
    EXPECT_EQ (date, DATE_BEFORE);
}

TEST (UpdateFile, CheckSysVerTexts)
{
    struct Case { const char* text; bool ok; };
    const Case cases[] = {
        { "1.05", true },  { "0.00", true }, { "z.zz", true }, { "1.055", true }, { "_.:@", true },
        { "", false },     { "1", false },   { "1.", false },   { "1.0", false },  { "1,05", false },
        { "{.00", false }, { "1.{0", false }, { "1.0{", false }, { "/.00", false }, { " 1.05", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ (MainComponent::CheckSysVer (c.text), c.ok) << '"' << c.text << '"';
    EXPECT_FALSE (MainComponent::CheckSysVer (juce::String::charToString (0xE9) + ".05"));
}

TEST (UpdateFile, CrcKnownValues)
{
    const auto crcOf = [] (const char* text)
    {
        return MainComponent::CalcCRC (reinterpret_cast<const uint8_t*> (text), static_cast<int64_t> (std::strlen (text)));
    };
    EXPECT_EQ (MainComponent::CalcCRC (nullptr, 0), 0x0000);
    EXPECT_EQ (MainComponent::CalcCRC (reinterpret_cast<const uint8_t*> ("abc"), -5), 0x0000);
    EXPECT_EQ (crcOf ("abc"), 0x9DD6);
    EXPECT_EQ (crcOf ("123456789"), 0x31C3);
    EXPECT_EQ (ReferenceCrc (reinterpret_cast<const uint8_t*> ("123456789"), 9), 0x31C3);
}

// Every length up to a few blocks of eight, at every alignment, and one whole image.
TEST (UpdateFile, CrcEqualsBitwiseReferenceOnRandomData)
{
    std::mt19937 random (20170530);
    std::vector<uint8_t> data (UPD_FILE_SIZE);
    for (auto& b : data)
        b = static_cast<uint8_t> (random());

    for (int64_t offset = 0; offset < 8; ++offset)
        for (int64_t length = 0; length <= 70; ++length)
            ASSERT_EQ (MainComponent::CalcCRC (data.data() + offset, length), ReferenceCrc (data.data() + offset, length))
                << "offset " << offset << " length " << length;

    EXPECT_EQ (MainComponent::CalcCRC (data.data(), UPD_FILE_SIZE - 2), ReferenceCrc (data.data(), UPD_FILE_SIZE - 2));
}
