#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

// Language slot: selects one column of every string table. LANG_NONE means no slot has
// been chosen yet.
enum LangIdTable_t : int32_t
{
    LANG_FIRST = 0,
    LANG_LAST  = 11,
    LANG_COUNT = 12,
    LANG_NONE  = LANG_COUNT,
};

// String id: selects one text entry, in the order of the entries in StrRes.
enum StrIdTable_t : int32_t
{
    ID_NULL_STR = 0,
    ID_NAME_000,
    ID_NAME_001,
    ID_STR_0000,
    ID_STR_0001,
    ID_STR_0002,
    ID_STR_0003,
    ID_STR_0004,
    ID_STR_0005,
    ID_STR_0006,
    ID_STR_0007,
    ID_STR_0008,
    ID_STR_0009,
    ID_STR_0010,
    ID_STR_0011,
    ID_STR_0012,
    ID_STR_0013,
    ID_STR_0014,
    ID_STR_0015,
    ID_STR_0016,
    ID_STR_0017,
    ID_STR_0018,
    STR_ID_COUNT,
};

// The string tables: one text per language slot, so a translation is one column.
// Built during static initialisation and never written afterwards.
namespace StrRes
{
using Entry = juce::String[LANG_COUNT];

// Per-language tables that the text loader copies whole.
extern const Entry DEFAULT_FONT_WIN;
extern const Entry DEFAULT_FONT_MAC;
extern const Entry LANGUAGE_SELECTION;

// Texts addressed by string id.
extern const Entry NULL_STR;
extern const Entry NAME_000;
extern const Entry NAME_001;
extern const Entry STR_0000;
extern const Entry STR_0001;
extern const Entry STR_0002;
extern const Entry STR_0003;
extern const Entry STR_0004;
extern const Entry STR_0005;
extern const Entry STR_0006;
extern const Entry STR_0007;
extern const Entry STR_0008;
extern const Entry STR_0009;
extern const Entry STR_0010;
extern const Entry STR_0011;
extern const Entry STR_0012;
extern const Entry STR_0013;
extern const Entry STR_0014;
extern const Entry STR_0015;
extern const Entry STR_0016;
extern const Entry STR_0017;
extern const Entry STR_0018;

// The text entries in string-id order.
extern const Entry* const TEXT_ENTRIES[STR_ID_COUNT];
} // namespace StrRes
