#include "text/StrRes.h"
#include "text/TextFormat.h"

#include <gtest/gtest.h>

TEST (TextFormat, FillsStringPlaceholdersInOrder)
{
    struct Case { juce::String format; std::vector<juce::String> args; juce::String expected; };
    const Case cases[] = {
        { "Your %s is not connected.", { "MARVEK NUBLA", "", "", "" }, "Your MARVEK NUBLA is not connected." },
        { "Ver. %s.%02s", { "1", "02" }, "Ver. 1.02" },
        { "Ver. %s.%02s", { "1", "5" }, "Ver. 1.05" },
        { "Ver. %s.%02s", { "1", "" }, "Ver. 1.00" },
        { "Ver. %s.%02s", { "1", "123" }, "Ver. 1.123" },   // a width never cuts
        { "[%4s]", { "ab" }, "[  ab]" },
        { "%s and %s", { "one" }, "one and " },             // missing arguments are empty
        { "100%% %d %", { "x" }, "100% %d %" },             // other conversions stand as written
        { "no placeholder", { "x" }, "no placeholder" },
        { "%s", { juce::String (juce::CharPointer_UTF8 ("\xc3\xa4\xe2\x82\xac")) }, juce::String (juce::CharPointer_UTF8 ("\xc3\xa4\xe2\x82\xac")) },
    };
    for (const auto& c : cases)
    {
        const auto& a = c.args;
        const auto get = [&a] (size_t i) { return i < a.size() ? a[i] : juce::String(); };
        EXPECT_EQ (FormatText (c.format, { get (0), get (1), get (2), get (3) }), c.expected) << c.format;
    }
}

TEST (TextFormat, ShippedTemplatesComeOutAsWritten)
{
    const juce::String name = StrRes::NAME_001[0];
    EXPECT_EQ (FormatText (StrRes::STR_0014[0], { name }),
               "The update of your version of the MARVEK NUBLA firmware is now complete.");
    EXPECT_EQ (FormatText (StrRes::STR_0011[0], { "1", "05" }), "Update Version: Ver. 1.05");
}

// A fixed 256-byte buffer would cut this; the formatter keeps it whole.
TEST (TextFormat, LongTextIsNotCut)
{
    const auto longName = juce::String::repeatedString ("NUBLA ", 60).trimEnd();
    const auto text = FormatText ("Your %s is not connected.", { longName });
    EXPECT_GT (text.getNumBytesAsUTF8(), 300u);
    EXPECT_EQ (text, "Your " + longName + " is not connected.");
}
