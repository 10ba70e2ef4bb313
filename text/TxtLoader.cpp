#include "text/TxtLoader.h"

#include "text/Table.h"

#include <algorithm>
#include <iterator>

TxtLoader* TxtLoader::m_pinstance = nullptr;

TxtLoader::TxtLoader()
{
    Load (FLG_DEFAULT_FONT_MAC);
    Load (FLG_LANGUAGE_SELECTION);
}

void TxtLoader::buildInstance()
{
    m_pinstance = new TxtLoader();
    const int slot = m_pinstance->chkLocale();
    if (slot <= LANG_LAST)
    {
        m_pinstance->m_curLang = static_cast<LangIdTable_t> (slot);
        m_pinstance->Load (FLG_STRING);
    }
}

void TxtLoader::createInstance()
{
    if (m_pinstance == nullptr)
        buildInstance();
}

TxtLoader* TxtLoader::getInstance()
{
    createInstance();
    return m_pinstance;
}

void TxtLoader::releaseInstance()
{
    delete m_pinstance;
    m_pinstance = nullptr;
}

void TxtLoader::setLocale (LangIdTable_t lang)
{
    if (! isSlot (lang))
        return;
    m_curLang = lang;
    Load (FLG_STRING);
}

int TxtLoader::chkLocale()
{
    for (auto& enabled : m_langEnable)
        enabled = true;
    return chooseSlot (readPreferredLanguages(), plangList, LANG_COUNT);
}

void TxtLoader::Load (FlgTable_t flag)
{
    switch (flag)
    {
        case FLG_DEFAULT_FONT_WIN:
            std::copy (std::begin (StrRes::DEFAULT_FONT_WIN), std::end (StrRes::DEFAULT_FONT_WIN), m_font);
            break;
        case FLG_DEFAULT_FONT_MAC:
            std::copy (std::begin (StrRes::DEFAULT_FONT_MAC), std::end (StrRes::DEFAULT_FONT_MAC), m_font);
            break;
        case FLG_LANGUAGE_SELECTION:
            std::copy (std::begin (StrRes::LANGUAGE_SELECTION), std::end (StrRes::LANGUAGE_SELECTION), m_langName);
            break;
        case FLG_STRING:
            if (isSlot (m_curLang))
                for (int id = 0; id < STR_ID_COUNT; ++id)
                    m_string[id] = (*StrRes::TEXT_ENTRIES[id])[m_curLang];
            break;
        default:
            break;
    }
}

const juce::String& TxtLoader::getString (StrIdTable_t id) const
{
    return (id >= 0 && id < STR_ID_COUNT) ? m_string[id] : m_nullStr;
}

const juce::String& TxtLoader::getFont() const
{
    return getFont (m_curLang);
}

const juce::String& TxtLoader::getFont (LangIdTable_t lang) const
{
    return isSlot (lang) ? m_font[lang] : m_nullStr;
}

const juce::String& TxtLoader::getLang (LangIdTable_t lang) const
{
    return isSlot (lang) ? m_langName[lang] : m_nullStr;
}

juce::StringArray TxtLoader::readPreferredLanguages()
{
    juce::StringArray names;
    names.addTokens (juce::SystemStats::getEnvironmentVariable ("LANGUAGE", {}), ":", {});
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" })
        names.add (juce::SystemStats::getEnvironmentVariable (variable, {}));

    juce::StringArray preferred;
    for (const auto& name : names)
    {
        const auto id = canonicalLocaleId (name);
        if (id.isNotEmpty() && id != "C" && id != "POSIX")
            preferred.add (id);
    }
    return preferred;
}

juce::String TxtLoader::canonicalLocaleId (const juce::String& name)
{
    // language[_territory][.codeset][@modifier]; BCP 47 tags use '-' for '_'.
    const auto base = name.trim().upToFirstOccurrenceOf (".", false, false)
                                 .upToFirstOccurrenceOf ("@", false, false)
                                 .replaceCharacter ('-', '_');
    if (base == "C" || base == "POSIX")
        return base;
    const auto language = base.upToFirstOccurrenceOf ("_", false, false).toLowerCase();
    if (! base.containsChar ('_'))
        return language;
    return language + "_" + base.fromFirstOccurrenceOf ("_", false, false).toUpperCase();
}

static bool isAscii (const juce::String& text)
{
    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        if (*p > 0x7F)
            return false;
    return true;
}

int TxtLoader::chooseSlot (const juce::StringArray& preferred, const juce::String* codes, int numCodes)
{
    // Identifiers are compared as at most 15 ASCII characters; others are skipped.
    constexpr int maxIdLength = 15;
    for (const auto& entry : preferred)
    {
        if (entry.isEmpty() || ! isAscii (entry))
            continue;
        const auto id = entry.substring (0, maxIdLength);
        for (int slot = 0; slot < numCodes; ++slot)
            if (id.startsWithIgnoreCase (codes[slot]))
                return slot;
    }
    return 0;
}
