#include "text/Table.h"

namespace
{
const juce::String langList[LANG_COUNT] = {
    L"en", L"en", L"en", L"en", L"en", L"en", L"en", L"en", L"en", L"en", L"en", L"en",
};
} // namespace

const juce::String* const plangList = langList;
