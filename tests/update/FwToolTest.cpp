#include "update/UpdateFixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;

#ifdef NUBLA_FWTOOL_PATH

namespace
{
struct Run
{
    int exitCode;
    juce::String output; // standard output and standard error together
};

Run RunTool (const juce::StringArray& args)
{
    juce::StringArray command { NUBLA_FWTOOL_PATH };
    command.addArray (args);
    juce::ChildProcess process;
    if (! process.start (command))
        return { -1, "could not start " + command.joinIntoString (" ") };
    auto output = process.readAllProcessOutput();
    process.waitForProcessToFinish (10000);
    return { static_cast<int> (process.getExitCode()), output };
}

juce::StringArray Make (const juce::File& out, juce::StringArray extra = {})
{
    juce::StringArray args { "make", out.getFullPathName(), "--version", "1.05", "--date", "20170530" };
    args.addArray (extra);
    return args;
}

juce::StringArray FilesIn (const juce::File& folder)
{
    juce::StringArray names;
    for (const auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, false, "*"))
        names.add (f.getFileName());
    names.sort (false);
    return names;
}
} // namespace

TEST (FwTool, MakeWritesAFileTheProgramAccepts)
{
    TempFolder folder;
    const auto out = folder / "mvkqx5__v105.bin";
    const auto run = RunTool (Make (out, { "--fill", "0x5A" }));
    ASSERT_EQ (run.exitCode, 0) << run.output;

    uint32_t date = 0;
    juce::String version;
    EXPECT_EQ (MainComponent::ParseUpdFile (out, UPD_FILE_SIZE, &date, version), 1u);
    EXPECT_EQ (date, 0x20170530u);
    EXPECT_EQ (version, "1.05");
    juce::MemoryBlock bytes;
    ASSERT_TRUE (out.loadFileAsData (bytes));
    EXPECT_EQ (Bytes (bytes)[0], 0x5A);
    EXPECT_EQ (Bytes (bytes)[UPD_AREAS_END - 5], 0x5A);
    EXPECT_EQ (Bytes (bytes)[UPD_FILE_SIZE - 3], 0x5A);
    EXPECT_EQ (FilesIn (folder.get()), juce::StringArray { "mvkqx5__v105.bin" }) << "no temporary file is left";
}

TEST (FwTool, MakeLaysThePayloadIntoTheAreasAndReplacesTheOldFile)
{
    TempFolder folder;
    const auto payloadFile = folder / "payload.bin";
    const auto payload = PatternPayload();
    ASSERT_TRUE (payloadFile.replaceWithData (payload.getData(), 1000));
    const auto out = Write (folder / "mvkqx5__v105.bin", juce::MemoryBlock (10, true));

    const auto run = RunTool (Make (out, { "--payload", payloadFile.getFullPathName() }));
    ASSERT_EQ (run.exitCode, 0) << run.output;

    juce::MemoryBlock bytes;
    ASSERT_TRUE (out.loadFileAsData (bytes));
    ASSERT_EQ (bytes.getSize(), static_cast<size_t> (UPD_FILE_SIZE));
    EXPECT_EQ (std::memcmp (bytes.getData(), payload.getData(), 1000), 0);
    EXPECT_EQ (Bytes (bytes)[1000], 0xFF) << "the rest of the areas is filled with 0xFF";
    EXPECT_EQ (juce::ByteOrder::bigEndianInt (Bytes (bytes) + UPD_DATE_OFFSET), 0x20170530u);

    // A payload filling the areas whole still gets the version and date fields.
    ASSERT_TRUE (payloadFile.replaceWithData (payload.getData(), payload.getSize()));
    ASSERT_EQ (RunTool (Make (out, { "--payload", payloadFile.getFullPathName() })).exitCode, 0);
    uint32_t date = 0;
    juce::String version;
    EXPECT_EQ (MainComponent::ParseUpdFile (out, UPD_FILE_SIZE, &date, version), 1u);
}

TEST (FwTool, InspectReportsTheFieldsAndTheResult)
{
    TempFolder folder;
    const auto valid = WriteValid (folder / "valid.bin");
    auto swapped = ValidImage();
    std::swap (Bytes (swapped)[UPD_FILE_SIZE - 2], Bytes (swapped)[UPD_FILE_SIZE - 1]);
    const auto bad = Write (folder / "bad.bin", swapped);
    const auto stored = juce::String::toHexString (Bytes (swapped)[UPD_FILE_SIZE - 2] | (Bytes (swapped)[UPD_FILE_SIZE - 1] << 8));

    const auto ok = RunTool ({ "inspect", valid.getFullPathName() });
    EXPECT_EQ (ok.exitCode, 0) << ok.output;
    EXPECT_TRUE (ok.output.contains ("2097152 bytes")) << ok.output;
    EXPECT_TRUE (ok.output.contains ("\"1.05\"")) << ok.output;
    EXPECT_TRUE (ok.output.contains ("2017-05-30")) << ok.output;
    EXPECT_TRUE (ok.output.contains ("KIND_VALID 1")) << ok.output;

    const auto crc = RunTool ({ "inspect", bad.getFullPathName() });
    EXPECT_EQ (crc.exitCode, 1) << crc.output;
    EXPECT_TRUE (crc.output.contains ("ERR_FILE_CRC 0xE05")) << crc.output;
    EXPECT_TRUE (crc.output.containsIgnoreCase ("stored 0x" + stored.paddedLeft ('0', 4))) << crc.output;

    struct Case { juce::File file; const char* result; };
    const Case failures[] = {
        { folder / "missing.bin", "ERR_FILE_MISSING 0xE01" },
        { folder.get(), "ERR_FILE_READ 0xE02" },
        { Write (folder / "short.bin", juce::MemoryBlock (10, true)), "ERR_FILE_SIZE 0xE03" },
    };
    for (const auto& c : failures)
    {
        const auto run = RunTool ({ "inspect", c.file.getFullPathName() });
        EXPECT_EQ (run.exitCode, 1) << run.output;
        EXPECT_TRUE (run.output.contains (c.result)) << run.output;
    }
}

// Every refusal leaves the folder as it was: no output file, no temporary file.
TEST (FwTool, BadArgumentsGiveUsageAndWriteNothing)
{
    TempFolder folder;
    const auto out = (folder / "out.bin").getFullPathName();
    const auto payload = Write (folder / "payload.bin", juce::MemoryBlock (16, true)).getFullPathName();
    const auto before = FilesIn (folder.get());

    const juce::StringArray cases[] = {
        {},
        { "frobnicate" },
        { "make" },
        { "make", "--version", "1.05", "--date", "20170530" },
        { "make", out, "--date", "20170530" },
        { "make", out, "--version", "1.05" },
        { "make", out, "--version", "1.05", "--date" },
        { "make", out, "--version", "1,05", "--date", "20170530" },
        { "make", out, "--version", "1.0", "--date", "20170530" },
        { "make", out, "--version", "1.055", "--date", "20170530" },
        { "make", out, "--version", "{.00", "--date", "20170530" },
        { "make", out, "--version", "1.05", "--date", "20170532" },
        { "make", out, "--version", "1.05", "--date", "20171330" },
        { "make", out, "--version", "1.05", "--date", "20510530" },
        { "make", out, "--version", "1.05", "--date", "21170530" },
        { "make", out, "--version", "1.05", "--date", "2017053" },
        { "make", out, "--version", "1.05", "--date", "2017-5-30" },
        { "make", out, "--version", "1.05", "--date", "20170530", "--fill", "256" },
        { "make", out, "--version", "1.05", "--date", "20170530", "--fill", "x" },
        { "make", out, "--version", "1.05", "--date", "20170530", "--fill", "1", "--payload", payload },
        { "make", out, "--version", "1.05", "--date", "20170530", "--version", "1.06" },
        { "make", out, "--version", "1.05", "--date", "20170530", "--colour", "red" },
        { "inspect" },
        { "inspect", out, out },
    };
    for (const auto& args : cases)
    {
        const auto run = RunTool (args);
        EXPECT_EQ (run.exitCode, 2) << args.joinIntoString (" ") << "\n" << run.output;
        EXPECT_TRUE (run.output.contains ("usage:")) << args.joinIntoString (" ");
    }
    EXPECT_EQ (FilesIn (folder.get()), before);
}

TEST (FwTool, RefusedPayloadOrUnwritableTargetWritesNothing)
{
    TempFolder folder;
    const auto out = folder / "out.bin";
    const auto tooBig = Write (folder / "big.bin", juce::MemoryBlock (static_cast<size_t> (UPD_AREAS_END) + 1, true));
    const auto before = FilesIn (folder.get());

    struct Case { juce::StringArray args; const char* says; };
    const Case cases[] = {
        { Make (out, { "--payload", tooBig.getFullPathName() }), "does not fit" },
        { Make (out, { "--payload", (folder / "absent").getFullPathName() }), "cannot read" },
        { Make (out, { "--payload", "/dev/zero" }), "cannot read" },
        { Make ((folder / "no folder").getChildFile ("out.bin")), "cannot create" },
        { Make (folder.get()), "cannot replace" },
    };
    for (const auto& c : cases)
    {
        const auto run = RunTool (c.args);
        EXPECT_EQ (run.exitCode, 1) << c.args.joinIntoString (" ") << "\n" << run.output;
        EXPECT_TRUE (run.output.contains (c.says)) << run.output;
    }
    EXPECT_EQ (FilesIn (folder.get()), before);
}

#else
TEST (FwTool, Built)
{
    GTEST_SKIP() << "nubla-fwtool is not part of this build";
}
#endif
