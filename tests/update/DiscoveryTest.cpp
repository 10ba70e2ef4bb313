#include "support/MainComponentProbe.h"
#include "update/Discovery.h"
#include "update/UpdateFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>

#include <sys/stat.h>

using namespace fixtures;

namespace
{
juce::Array<juce::File> Listed (std::initializer_list<const char*> names)
{
    juce::Array<juce::File> files;
    for (auto* name : names)
        files.add (juce::File ("/nowhere").getChildFile (name));
    return files;
}

juce::StringArray NamesOf (const juce::Array<juce::File>& files)
{
    juce::StringArray names;
    for (const auto& f : files)
        names.add (f.getFileName());
    return names;
}

juce::File CorruptChecksum (const juce::File& file)
{
    auto image = ValidImage();
    Bytes (image)[UPD_FILE_SIZE - 1] ^= 0xFF;
    return Write (file, image);
}

class Discovery : public ::testing::Test
{
protected:
    MainComponent mc;
    MainComponentProbe probe { mc };
    TempFolder folder;

    void ExpectAreasUntouched()
    {
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_EQ (probe.kind (i).file, juce::File()) << "area " << i;
            EXPECT_EQ (probe.kind (i).size.load(), 0) << "area " << i;
            EXPECT_EQ (probe.kind (i).target, 0) << "area " << i;
        }
    }

    void ExpectAreaStatuses (int32_t status)
    {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ (probe.kind (i).status.load(), status) << "area " << i;
    }

    void ExpectAreaTable (const juce::File& file)
    {
        struct Row { uint8_t target; int64_t size, offset, address; };
        const Row rows[] = {
            { 0xF1, 0x090000, 0x000000, 0x000000 },
            { 0xF2, 0x140000, 0x090000, 0x090000 },
            { 0xF7, 0x010000, 0x1D0000, 0x1D0000 },
        };
        for (int i = 0; i < 3; ++i)
        {
            SCOPED_TRACE ("area " + std::to_string (i));
            const auto& k = probe.kind (i);
            EXPECT_EQ (k.file, file);
            EXPECT_EQ (k.target, rows[i].target);
            EXPECT_EQ (k.size.load(), rows[i].size);
            EXPECT_EQ (k.offset, rows[i].offset);
            EXPECT_EQ (k.address, rows[i].address);
            EXPECT_EQ (k.status.load(), KIND_VALID);
        }
    }
};
} // namespace

// The choice on explicit listings, each in both orders where order could matter.
TEST (DiscoveryChoice, HighestNumberWinsFirstAmongEquals)
{
    struct Case { std::initializer_list<const char*> listed; const char* chosen; };
    const Case cases[] = {
        { { "mvkqx5__v104.bin", "mvkqx5__v105.bin" }, "mvkqx5__v105.bin" },
        { { "mvkqx5__v105.bin", "mvkqx5__v104.bin" }, "mvkqx5__v105.bin" },
        { { "mvkqx5__v005.bin", "mvkqx5__v5xy.bin" }, "mvkqx5__v005.bin" },
        { { "mvkqx5__v5xy.bin", "mvkqx5__v005.bin" }, "mvkqx5__v5xy.bin" },
        { { "mvkqx5__v 07.bin", "mvkqx5__v006.bin" }, "mvkqx5__v 07.bin" },
        { { "mvkqx5__v1000.bin", "mvkqx5__v999.bin" }, "mvkqx5__v999.bin" },
        { { "mvkqx5__v1.bin" }, "" },
        { { "mvkqx5__v1000.bin" }, "" },
        { { "mvkqx5__v000.bin" }, "" },
        { { "mvkqx5__vabc.bin" }, "" },
        { { "mvkqx5__v-05.bin" }, "" },
        { {}, "" },
    };
    for (const auto& c : cases)
    {
        const auto listed = Listed (c.listed);
        EXPECT_EQ (ChooseUpdFile (listed).getFileName(), juce::String (c.chosen))
            << NamesOf (listed).joinIntoString (", ");
    }
}

TEST (DiscoveryChoice, NumberIsReadLikeGetIntValue)
{
    for (const char* digits : { "105", "007", " 42", "5ab", "-12", "abc", "000", "+12", "1 2" })
    {
        const juce::String name = juce::String ("mvkqx5__v") + digits + ".bin";
        EXPECT_EQ (UpdFileNumber (name), juce::String (digits).getIntValue()) << name;
    }
    EXPECT_EQ (UpdFileNumber ("mvkqx5__v1050.bin"), 0);
}

// The folder is listed in whatever order it yields; on tmpfs that order follows creation,
// so making the two files in both orders gives both listing orders.
TEST_F (Discovery, HigherNumberWinsInBothListingOrders)
{
    juce::StringArray firstListed;
    for (const auto& order : { juce::StringArray { "mvkqx5__v104.bin", "mvkqx5__v105.bin" },
                               juce::StringArray { "mvkqx5__v105.bin", "mvkqx5__v104.bin" } })
    {
        SCOPED_TRACE (order.joinIntoString (" then "));
        MainComponent component;
        MainComponentProbe p (component);
        TempFolder ordered (FolderListedByCreation());
        for (const auto& name : order)
            WriteValid (ordered / name);

        const auto listed = ordered.get().findChildFiles (juce::File::findFiles, false, UPD_FILE_PATTERN);
        ASSERT_EQ (listed.size(), 2);
        firstListed.add (listed[0].getFileName());

        component.CheckUpdFile (ordered.get());
        EXPECT_EQ (p.status().load(), STEP_IDLE);
        EXPECT_EQ (p.fileState(), FILE_STATE_VALID);
        EXPECT_EQ (p.kind (0).file, ordered / "mvkqx5__v105.bin");
    }
    if (firstListed[0] == firstListed[1])
        GTEST_SKIP() << "this file system listed both folders in the same order; "
                        "DiscoveryChoice covers both orders on explicit lists";
}

TEST_F (Discovery, NoUsableCandidateIsMissing)
{
    for (const char* name : { "mvkqx5__v1.bin", "mvkqx5__v1000.bin", "mvkqx5__v000.bin", "mvkqx5__vabc.bin",
                              "mvkqx5__v105.bin.old", "mvkqx5__v105.bi" })
    {
        SCOPED_TRACE (name);
        MainComponent component;
        MainComponentProbe p (component);
        TempFolder only;
        WriteValid (only / name);

        component.CheckUpdFile (only.get());
        EXPECT_EQ (p.status().load(), ERR_FILE_MISSING);
        EXPECT_EQ (p.fileState(), 0);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ (p.kind (i).status.load(), KIND_NONE);
    }
}

TEST_F (Discovery, EmptyOrMissingFolderIsMissing)
{
    mc.CheckUpdFile (folder.get());
    EXPECT_EQ (probe.status().load(), ERR_FILE_MISSING);

    MainComponent other;
    MainComponentProbe p (other);
    other.CheckUpdFile (folder / "no such folder");
    EXPECT_EQ (p.status().load(), ERR_FILE_MISSING);
    EXPECT_EQ (p.fileState(), 0);
}

// The highest number is chosen before anything is validated: a broken v200 is not
// passed over for a valid v105.
TEST_F (Discovery, BrokenHighestIsChosenAndTheOtherNotTried)
{
    Write (folder / "mvkqx5__v200.bin", juce::MemoryBlock (10, true));
    WriteValid (folder / "mvkqx5__v105.bin");

    mc.CheckUpdFile (folder.get());
    EXPECT_EQ (probe.status().load(), ERR_FILE_SIZE);
    ExpectAreaStatuses (ERR_FILE_SIZE);
    EXPECT_EQ (probe.fileState(), 0);
    // v105 would have stored its date and version had it been checked.
    EXPECT_EQ (probe.fileDate(), 0u);
    EXPECT_TRUE (probe.fileVersion().isEmpty());
    ExpectAreasUntouched();
}

TEST_F (Discovery, FolderNamedLikeCandidateIsNotListed)
{
    ASSERT_TRUE ((folder / "mvkqx5__v105.bin").createDirectory().wasOk());
    mc.CheckUpdFile (folder.get());
    EXPECT_EQ (probe.status().load(), ERR_FILE_MISSING);

    MainComponent other;
    MainComponentProbe p (other);
    const auto v104 = WriteValid (folder / "mvkqx5__v104.bin");
    other.CheckUpdFile (folder.get());
    EXPECT_EQ (p.status().load(), STEP_IDLE);
    EXPECT_EQ (p.kind (2).file, v104);
}

// A FIFO is listed as a file; choosing it must not hang the program.
TEST_F (Discovery, FifoCandidateIsUnreadableWithoutBlocking)
{
    ASSERT_EQ (::mkfifo ((folder / "mvkqx5__v200.bin").getFullPathName().toRawUTF8(), 0600), 0) << std::strerror (errno);
    WriteValid (folder / "mvkqx5__v105.bin");

    auto done = std::async (std::launch::async, [this] { mc.CheckUpdFile (folder.get()); });
    ASSERT_EQ (done.wait_for (std::chrono::seconds (5)), std::future_status::ready) << "discovery blocked on a FIFO";
    EXPECT_EQ (probe.status().load(), ERR_FILE_READ);
    ExpectAreaStatuses (ERR_FILE_READ);
    EXPECT_EQ (probe.fileState(), 0);
}

TEST_F (Discovery, ValidFileFillsTheAreaTable)
{
    const auto file = WriteValid (folder / "mvkqx5__v105.bin");
    mc.CheckUpdFile (folder.get());

    EXPECT_EQ (probe.status().load(), STEP_IDLE);
    EXPECT_EQ (probe.fileState(), FILE_STATE_VALID);
    EXPECT_EQ (probe.fileDate(), VALID_DATE);
    EXPECT_EQ (probe.fileVersion(), "1.05");
    ExpectAreaTable (file);
}

TEST_F (Discovery, ChecksumFailureMarksAreasAndKeepsFileValues)
{
    CorruptChecksum (folder / "mvkqx5__v105.bin");
    mc.CheckUpdFile (folder.get());

    EXPECT_EQ (probe.status().load(), ERR_FILE_CRC);
    ExpectAreaStatuses (ERR_FILE_CRC);
    EXPECT_EQ (probe.fileState(), 0);
    EXPECT_EQ (probe.fileDate(), VALID_DATE);
    EXPECT_EQ (probe.fileVersion(), "1.05");
    ExpectAreasUntouched();
}

TEST_F (Discovery, ErrorInFileFieldsSetsTheStatus)
{
    auto image = ValidImage();
    Bytes (image)[UPD_VERSION_OFFSET + 1] = ',';
    SealUpdImage (image);
    Write (folder / "mvkqx5__v105.bin", image);

    mc.CheckUpdFile (folder.get());
    EXPECT_EQ (probe.status().load(), ERR_FILE_VERSION);
    ExpectAreaStatuses (ERR_FILE_VERSION);
    EXPECT_EQ (probe.fileVersion(), "1,05");
}

// A removed device's status stays while everything else is written as usual: the area
// statuses, and the file state (0 when nothing was found, 8 for a valid file, else as it was).
TEST_F (Discovery, RemovedStatusIsKept)
{
    struct Case
    {
        const char* name;
        std::function<void (const juce::File&)> make;
        int32_t areaStatus;
        int32_t fileState;
    };
    const Case cases[] = {
        { "no file", [] (const juce::File&) {}, KIND_NONE, 0 },
        { "bad checksum", [] (const juce::File& f) { CorruptChecksum (f.getChildFile ("mvkqx5__v105.bin")); }, ERR_FILE_CRC, 99 },
        { "wrong size", [] (const juce::File& f) { Write (f.getChildFile ("mvkqx5__v105.bin"), juce::MemoryBlock (10, true)); },
          ERR_FILE_SIZE, 99 },
        { "valid", [] (const juce::File& f) { WriteValid (f.getChildFile ("mvkqx5__v105.bin")); }, KIND_VALID, FILE_STATE_VALID },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        MainComponent component;
        MainComponentProbe p (component);
        TempFolder caseFolder;
        c.make (caseFolder.get());
        p.fileState() = 99; // shows which cases write it
        ASSERT_TRUE (p.storeStatus (ERR_REMOVED));

        component.CheckUpdFile (caseFolder.get());
        EXPECT_EQ (p.status().load(), ERR_REMOVED);
        EXPECT_EQ (p.fileState(), c.fileState);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ (p.kind (i).status.load(), c.areaStatus) << "area " << i;
    }
}
