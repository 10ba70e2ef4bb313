#include "text/StrRes.h"

// Every language slot holds English for now; a translation replaces one column.
#define NUBLA_EVERY_SLOT(text) { text, text, text, text, text, text, text, text, text, text, text, text }

namespace StrRes
{
const Entry DEFAULT_FONT_WIN   = NUBLA_EVERY_SLOT (L"Verdana");
const Entry DEFAULT_FONT_MAC   = NUBLA_EVERY_SLOT (L"Verdana");
const Entry LANGUAGE_SELECTION = NUBLA_EVERY_SLOT (L"English");

const Entry NULL_STR = NUBLA_EVERY_SLOT (L"");
const Entry NAME_000 = NUBLA_EVERY_SLOT (L"MARVEK");
const Entry NAME_001 = NUBLA_EVERY_SLOT (L"MARVEK NUBLA");
const Entry STR_0000 = NUBLA_EVERY_SLOT (L"Updater Program");
const Entry STR_0001 = NUBLA_EVERY_SLOT (L"OK");
const Entry STR_0002 = NUBLA_EVERY_SLOT (L"Start");
const Entry STR_0003 = NUBLA_EVERY_SLOT (L"Cancel");
const Entry STR_0004 = NUBLA_EVERY_SLOT (L"Close");
const Entry STR_0005 = NUBLA_EVERY_SLOT (L"Update Start");
const Entry STR_0006 = NUBLA_EVERY_SLOT (L"Please USB-B Conect & Push OK Button.");
const Entry STR_0007 = NUBLA_EVERY_SLOT (L"There is an error in the update file.");
const Entry STR_0008 = NUBLA_EVERY_SLOT (L"Your %s is not connected.");
const Entry STR_0009 = NUBLA_EVERY_SLOT (L"Updates the version of your %s firmware.");
const Entry STR_0010 = NUBLA_EVERY_SLOT (L"Current Version: Ver. %s.%02s");
const Entry STR_0011 = NUBLA_EVERY_SLOT (L"Update Version: Ver. %s.%02s");
const Entry STR_0012 = NUBLA_EVERY_SLOT (L"Updating your %s firmware.");
const Entry STR_0013 = NUBLA_EVERY_SLOT (L"Please wait for a few moments until the update process is complete.");
const Entry STR_0014 = NUBLA_EVERY_SLOT (L"The update of your version of the %s firmware is now complete.");
const Entry STR_0015 = NUBLA_EVERY_SLOT (L"An error has occurred.");
const Entry STR_0016 = NUBLA_EVERY_SLOT (L"It was not possible to update the program.");
const Entry STR_0017 = NUBLA_EVERY_SLOT (L"The transfer of new version of firmware to %s is completed.");
const Entry STR_0018 = NUBLA_EVERY_SLOT (L"!! Attension !!");

const Entry* const TEXT_ENTRIES[STR_ID_COUNT] = {
    &NULL_STR, &NAME_000, &NAME_001,
    &STR_0000, &STR_0001, &STR_0002, &STR_0003, &STR_0004, &STR_0005, &STR_0006,
    &STR_0007, &STR_0008, &STR_0009, &STR_0010, &STR_0011, &STR_0012, &STR_0013,
    &STR_0014, &STR_0015, &STR_0016, &STR_0017, &STR_0018,
};
} // namespace StrRes

#undef NUBLA_EVERY_SLOT
