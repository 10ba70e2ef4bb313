// nubla-fwtool: makes and inspects update files of the MARVEK NUBLA update program.

#include "app/MainComponent.h"
#include "update/UpdateFile.h"
#include "update/UpdateImage.h"

#include <iostream>
#include <optional>

#include <sys/stat.h>

namespace
{
constexpr int EXIT_OK = 0;
constexpr int EXIT_REFUSED = 1;
constexpr int EXIT_USAGE = 2;

const char* const USAGE =
    "usage:\n"
    "  nubla-fwtool make OUT --version X.YZ --date YYYYMMDD [--payload FILE | --fill BYTE]\n"
    "      writes a valid 2 MiB update file to OUT: the payload (or the fill byte, 0xFF by\n"
    "      default) in the update areas, the version text, the build date and the checksum\n"
    "  nubla-fwtool inspect FILE\n"
    "      prints what the update program sees in FILE; exit status 0 only for a valid file\n"
    "exit status: 0 done, 1 refused or failed, 2 bad arguments\n";

int UsageError (const juce::String& message)
{
    std::cerr << "nubla-fwtool: " << message << "\n" << USAGE;
    return EXIT_USAGE;
}

int Refused (const juce::String& message)
{
    std::cerr << "nubla-fwtool: " << message << "\n";
    return EXIT_REFUSED;
}

juce::String Hex (uint32_t value, int digits)
{
    return "0x" + juce::String::toHexString (static_cast<juce::int64> (value)).toUpperCase().paddedLeft ('0', digits);
}

// A FIFO or a device node as payload would block the read or never end.
bool IsRegularFile (const juce::File& file)
{
    struct stat st {};
    return ::stat (file.getFullPathName().toRawUTF8(), &st) == 0 && S_ISREG (st.st_mode);
}

// Accepts 0..255 in decimal or as 0x-prefixed hex.
std::optional<uint8_t> ParseByte (const juce::String& text)
{
    const bool hex = text.startsWithIgnoreCase ("0x");
    const auto digits = hex ? text.substring (2) : text;
    if (digits.isEmpty() || digits.length() > 3
        || ! digits.containsOnly (hex ? "0123456789abcdefABCDEF" : "0123456789"))
        return std::nullopt;
    const int value = hex ? digits.getHexValue32() : digits.getIntValue();
    if (value > 255)
        return std::nullopt;
    return static_cast<uint8_t> (value);
}

int Make (const juce::StringArray& args)
{
    if (args.size() < 2 || args[1].startsWith ("--"))
        return UsageError ("make needs the output file first");

    juce::StringPairArray options;
    for (int i = 2; i < args.size(); i += 2)
    {
        const auto& name = args[i];
        if (name != "--version" && name != "--date" && name != "--payload" && name != "--fill")
            return UsageError ("unknown argument " + name.quoted());
        if (options.containsKey (name))
            return UsageError (name + " given twice");
        if (i + 1 >= args.size())
            return UsageError (name + " needs a value");
        options.set (name, args[i + 1]);
    }
    if (! options.containsKey ("--version") || ! options.containsKey ("--date"))
        return UsageError ("make needs --version and --date");
    if (options.containsKey ("--payload") && options.containsKey ("--fill"))
        return UsageError ("give --payload or --fill, not both");

    UpdImageParams params;
    params.version = options["--version"];
    if (! DateWordFromText (options["--date"], params.dateWord))
        return UsageError ("the date " + options["--date"].quoted() + " is not eight digits YYYYMMDD");
    if (options.containsKey ("--fill"))
    {
        const auto fill = ParseByte (options["--fill"]);
        if (! fill)
            return UsageError ("the fill " + options["--fill"].quoted() + " is not a byte (0..255 or 0x00..0xFF)");
        params.fill = *fill;
    }
    // Version and date first: they are argument errors, whatever the payload holds.
    const auto fieldCheck = CheckUpdImageParams (params);
    if (fieldCheck.failed())
        return UsageError (fieldCheck.getErrorMessage());

    if (options.containsKey ("--payload"))
    {
        const juce::File payload (juce::File::getCurrentWorkingDirectory().getChildFile (options["--payload"]));
        if (! IsRegularFile (payload))
            return Refused ("cannot read the payload " + payload.getFullPathName());
        if (payload.getSize() > UPD_AREAS_END)
            return Refused ("the payload of " + juce::String (payload.getSize()) + " bytes does not fit the update areas ("
                            + juce::String (UPD_AREAS_END) + " bytes)");
        if (! payload.loadFileAsData (params.payload))
            return Refused ("cannot read the payload " + payload.getFullPathName());
    }

    const juce::File out (juce::File::getCurrentWorkingDirectory().getChildFile (args[1]));
    const auto written = MakeUpdFile (out, params);
    if (written.failed())
        return Refused (written.getErrorMessage());
    std::cout << "wrote " << out.getFullPathName() << "\n";
    return EXIT_OK;
}

void PrintFields (const juce::File& file)
{
    juce::MemoryBlock block;
    if (! file.loadFileAsData (block) || block.getSize() != static_cast<size_t> (UPD_FILE_SIZE))
        return;
    const auto* bytes = static_cast<const uint8_t*> (block.getData());

    const auto* v = bytes + UPD_VERSION_OFFSET;
    std::cout << "version:  \"" << VersionTextOf (v) << "\" (bytes "
              << juce::String::toHexString (v, 4).toUpperCase() << ")\n";

    const auto* d = bytes + UPD_DATE_OFFSET;
    const auto dateHex = juce::String::toHexString (d, 4, 0).toUpperCase();
    std::cout << "date:     " << dateHex.substring (0, 4) << "-" << dateHex.substring (4, 6) << "-"
              << dateHex.substring (6) << " (" << Hex (juce::ByteOrder::bigEndianInt (d), 8) << ")\n";

    const auto stored = static_cast<uint32_t> (bytes[UPD_FILE_SIZE - 2] | (bytes[UPD_FILE_SIZE - 1] << 8));
    const auto computed = MainComponent::CalcCRC (bytes, UPD_FILE_SIZE - 2);
    std::cout << "checksum: stored " << Hex (stored, 4) << ", computed " << Hex (computed, 4) << "\n";
}

int Inspect (const juce::StringArray& args)
{
    if (args.size() != 2)
        return UsageError ("inspect takes exactly one file");
    const juce::File file (juce::File::getCurrentWorkingDirectory().getChildFile (args[1]));

    uint32_t date = 0;
    juce::String version;
    const auto result = MainComponent::ParseUpdFile (file, UPD_FILE_SIZE, &date, version);

    std::cout << "file:     " << file.getFullPathName() << "\n";
    if (result != ERR_FILE_MISSING)
        std::cout << "size:     " << file.getSize() << " bytes (expected " << UPD_FILE_SIZE << ")\n";
    if (result != ERR_FILE_MISSING && result != ERR_FILE_READ && result != ERR_FILE_SIZE)
        PrintFields (file);
    std::cout << "result:   " << FileResultName (result) << " "
              << (result == KIND_VALID ? juce::String ("1") : Hex (result, 3)) << "\n";
    return result == KIND_VALID ? EXIT_OK : EXIT_REFUSED;
}
} // namespace

int main (int argc, char** argv)
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    if (args[0] == "make")
        return Make (args);
    if (args[0] == "inspect")
        return Inspect (args);
    if (args[0] == "--help" || args[0] == "-h")
    {
        std::cout << USAGE;
        return EXIT_OK;
    }
    return UsageError (args.isEmpty() ? juce::String ("no command given") : "unknown command " + args[0].quoted());
}
