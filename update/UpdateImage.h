#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

// Making update files: for the people who ship them (nubla-fwtool), and for the tests,
// the benchmark and the fuzz target, which make their fixtures the same way.
struct UpdImageParams
{
    juce::String version;      // the version text X.YZ
    uint32_t dateWord = 0;     // packed BCD, century byte first: 0x20170530
    juce::MemoryBlock payload; // laid into the areas from offset 0; the rest is fill
    uint8_t fill = 0xFF;
};

// Reads "YYYYMMDD" (exactly eight decimal digits) as the packed BCD date word.
bool DateWordFromText (const juce::String& text, uint32_t& dateWord);

// Refuses what the program would reject: a version text that is not four characters of
// the form X.YZ, a date above its bounds, a payload larger than the areas.
juce::Result CheckUpdImageParams (const UpdImageParams& params);

// The 2 MiB image of params, checksum stored, without checking params first.
juce::MemoryBlock BuildUpdImage (const UpdImageParams& params);

// Stores the checksum of all bytes but the last two in the last two, low byte first.
void SealUpdImage (juce::MemoryBlock& image);

// Writes data to a temporary file beside target and renames it over target, so target is
// either left as it was or replaced whole; the temporary file never outlives the call.
juce::Result WriteFileAtomically (const juce::File& target, const void* data, size_t size);

// CheckUpdImageParams, BuildUpdImage and WriteFileAtomically in turn.
juce::Result MakeUpdFile (const juce::File& target, const UpdImageParams& params);
