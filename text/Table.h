#pragma once

#include "text/StrRes.h"

// The language codes of the slots, LANG_COUNT of them: a user's preferred language whose
// identifier starts with code k (ignoring case) chooses slot k.
extern const juce::String* const plangList;
