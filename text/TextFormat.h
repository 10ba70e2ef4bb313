#pragma once

#include <juce_core/juce_core.h>

#include <initializer_list>

// Fills a text template's placeholders in order with the given strings, as printf does
// for strings: %s takes the next string whole, %Ns and %0Ns pad it on the left with
// spaces or with the digit 0 to at least N characters, %% is a percent sign. A
// placeholder beyond the given strings takes the empty string; anything else after a
// percent sign stands as written. Unlike a fixed buffer, no length limit applies.
juce::String FormatText (const juce::String& format, std::initializer_list<juce::String> args);
