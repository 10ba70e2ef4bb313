#pragma once

#include <juce_core/juce_core.h>

// Names of update files: "mvkqx5__v" + three characters carrying the file's number + ".bin".
constexpr const char* UPD_FILE_PATTERN = "mvkqx5__v*.bin";
constexpr int UPD_FILE_NAME_LENGTH = 16;

// The number a candidate's name carries, read the way juce::String::getIntValue reads it;
// 0 for a name that is not exactly UPD_FILE_NAME_LENGTH characters long.
int UpdFileNumber (const juce::String& fileName);

// The candidate with the highest number above 0, the first in list order among equals;
// an empty juce::File when none qualifies.
juce::File ChooseUpdFile (const juce::Array<juce::File>& listedInOrder);
