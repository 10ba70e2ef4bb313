#include "text/TextFormat.h"

juce::String FormatText (const juce::String& format, std::initializer_list<juce::String> args)
{
    juce::String result;
    result.preallocateBytes (format.getNumBytesAsUTF8() + 64);
    auto nextArg = args.begin();

    for (auto p = format.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = p.getAndAdvance();
        if (c != '%')
        {
            result += c;
            continue;
        }

        auto spec = p;
        if (*spec == '%')
        {
            result += '%';
            p = spec + 1;
            continue;
        }

        const bool zeroPad = *spec == '0';
        if (zeroPad)
            ++spec;
        constexpr int maxWidth = 1024; // no template needs more; keeps a stray width sane
        int width = 0;
        while (juce::CharacterFunctions::isDigit (*spec))
            width = juce::jmin (width * 10 + (int) (spec.getAndAdvance() - '0'), maxWidth);

        if (*spec != 's')
        {
            result += c; // not a string placeholder: keep the text as written
            continue;
        }
        p = spec + 1;

        const auto arg = nextArg != args.end() ? *nextArg++ : juce::String();
        const int padding = width - arg.length();
        if (padding > 0)
            result << juce::String::repeatedString (zeroPad ? "0" : " ", padding);
        result << arg;
    }
    return result;
}
