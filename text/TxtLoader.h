#pragma once

#include "text/StrRes.h"

// The one source of the program's texts, language names and typeface names. It holds the
// current language slot and a copy of that slot's texts. Built once by the main screen and
// reached through getInstance(); used on the message thread only.
class TxtLoader
{
public:
    // What Load copies from the string tables.
    enum FlgTable_t : int32_t
    {
        FLG_DEFAULT_FONT_WIN   = 1,
        FLG_DEFAULT_FONT_MAC   = 2,
        FLG_LANGUAGE_SELECTION = 3,
        FLG_STRING             = 4,
    };

    virtual ~TxtLoader() = default;

    static void createInstance();
    static TxtLoader* getInstance();
    static void releaseInstance();

    // Switches to slot 0..11 and reloads the texts; any other value changes nothing.
    void setLocale (LangIdTable_t lang);
    // Offers every slot and returns the one the user's preferred languages choose.
    int chkLocale();
    void Load (FlgTable_t flag);

    // Each lookup out of range returns the empty text.
    const juce::String& getString (StrIdTable_t id) const;
    const juce::String& getFont() const;
    const juce::String& getFont (LangIdTable_t lang) const;
    const juce::String& getLang (LangIdTable_t lang) const;

    // The user's preferred languages, most preferred first, as the gettext family reads
    // them: LANGUAGE (colon-separated), then LC_ALL, LC_MESSAGES and LANG. Each entry comes
    // back canonical (language code first: en_GB from en_GB.UTF-8@euro); empty entries,
    // "C" and "POSIX" are left out.
    static juce::StringArray readPreferredLanguages();
    static juce::String canonicalLocaleId (const juce::String& name);
    // The slot the first preference that starts with one of the codes (ignoring case)
    // chooses; 0 when none does.
    static int chooseSlot (const juce::StringArray& preferred, const juce::String* codes, int numCodes);

    LangIdTable_t m_curLang = LANG_NONE;
    juce::String m_nullStr;
    bool m_langEnable[LANG_COUNT] {};

private:
    TxtLoader();
    static void buildInstance();
    static bool isSlot (int lang) noexcept { return lang >= LANG_FIRST && lang <= LANG_LAST; }

    juce::String m_font[LANG_COUNT];
    juce::String m_langName[LANG_COUNT];
    juce::String m_string[STR_ID_COUNT];

    static TxtLoader* m_pinstance;

    JUCE_DECLARE_NON_COPYABLE (TxtLoader)
};
