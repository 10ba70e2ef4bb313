#include "text/StrRes.h"
#include "text/Table.h"
#include "text/TxtLoader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace
{
// Sets the locale variables for one test and puts the old values back afterwards; the
// loader is released on both sides so each test reads the environment afresh.
class LocaleEnv : public ::testing::Test
{
protected:
    static constexpr const char* kVariables[] = { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" };

    void SetUp() override
    {
        for (const char* name : kVariables)
        {
            const char* value = std::getenv (name);
            m_saved[name] = value != nullptr ? std::optional<std::string> (value) : std::nullopt;
        }
        clear();
    }

    // No locale variable set and no loader.
    static void clear()
    {
        for (const char* name : kVariables)
            ::unsetenv (name);
        TxtLoader::releaseInstance();
    }

    void TearDown() override
    {
        TxtLoader::releaseInstance();
        for (const auto& [name, value] : m_saved)
        {
            if (value)
                ::setenv (name.c_str(), value->c_str(), 1);
            else
                ::unsetenv (name.c_str());
        }
    }

    static void set (const char* name, const char* value) { ::setenv (name, value, 1); }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

const juce::String kStr0006 = "Please USB-B Conect & Push OK Button.";
} // namespace

TEST (StrRes, EverySlotOfAnEntryHoldsTheSameText)
{
    EXPECT_EQ (StrRes::STR_0006[0], kStr0006);
    EXPECT_EQ (StrRes::STR_0006[LANG_LAST], kStr0006);
    for (int id = 0; id < STR_ID_COUNT; ++id)
        for (int slot = 1; slot < LANG_COUNT; ++slot)
            EXPECT_EQ ((*StrRes::TEXT_ENTRIES[id])[slot], (*StrRes::TEXT_ENTRIES[id])[0]) << "id " << id << " slot " << slot;
    for (int slot = 0; slot < LANG_COUNT; ++slot)
    {
        EXPECT_TRUE (StrRes::NULL_STR[slot].isEmpty());
        EXPECT_EQ (StrRes::LANGUAGE_SELECTION[slot], "English");
        EXPECT_EQ (StrRes::DEFAULT_FONT_MAC[slot], "Verdana");
        EXPECT_EQ (StrRes::DEFAULT_FONT_WIN[slot], "Verdana");
        EXPECT_EQ (plangList[slot], "en");
    }
}

TEST (StrRes, IdsFollowTheEntryOrder)
{
    EXPECT_EQ (ID_STR_0000, 3);
    EXPECT_EQ (ID_STR_0018, 21);
    EXPECT_EQ (STR_ID_COUNT, 22);
    EXPECT_EQ (StrRes::TEXT_ENTRIES[ID_NAME_001], &StrRes::NAME_001);
    EXPECT_EQ (StrRes::TEXT_ENTRIES[ID_STR_0018], &StrRes::STR_0018);
}

TEST_F (LocaleEnv, GetStringByIdAndOutOfRange)
{
    auto* loader = TxtLoader::getInstance();
    const std::map<int, juce::String> expected {
        { 0, "" },
        { 2, "MARVEK NUBLA" },
        { 3, "Updater Program" },
        { 9, kStr0006 },
        { 13, "Current Version: Ver. %s.%02s" },
        { 17, "The update of your version of the %s firmware is now complete." },
        { 21, "!! Attension !!" },
        { -1, "" },
        { 22, "" },
    };
    for (const auto& [id, text] : expected)
        EXPECT_EQ (loader->getString (static_cast<StrIdTable_t> (id)), text) << "id " << id;
    EXPECT_EQ (&loader->getString (static_cast<StrIdTable_t> (22)), &loader->m_nullStr);
    EXPECT_EQ (&loader->getString (static_cast<StrIdTable_t> (-1)), &loader->m_nullStr);
}

TEST_F (LocaleEnv, LanguageNamesAndFontsPerSlot)
{
    auto* loader = TxtLoader::getInstance();
    for (int slot = 0; slot < LANG_COUNT; ++slot)
    {
        EXPECT_EQ (loader->getLang (static_cast<LangIdTable_t> (slot)), "English");
        EXPECT_EQ (loader->getFont (static_cast<LangIdTable_t> (slot)), "Verdana");
        EXPECT_TRUE (loader->m_langEnable[slot]);
    }
    EXPECT_TRUE (loader->getLang (LANG_NONE).isEmpty());
    EXPECT_TRUE (loader->getFont (LANG_NONE).isEmpty());
    EXPECT_TRUE (loader->getFont (static_cast<LangIdTable_t> (-1)).isEmpty());
    EXPECT_EQ (loader->getFont(), "Verdana");
}

TEST_F (LocaleEnv, SetLocaleTakesOnlySlots)
{
    auto* loader = TxtLoader::getInstance();
    ASSERT_EQ (loader->m_curLang, 0);

    loader->setLocale (LANG_NONE);
    EXPECT_EQ (loader->m_curLang, 0);
    loader->setLocale (static_cast<LangIdTable_t> (-1));
    EXPECT_EQ (loader->m_curLang, 0);

    loader->setLocale (static_cast<LangIdTable_t> (5));
    EXPECT_EQ (loader->m_curLang, 5);
    EXPECT_EQ (loader->getString (ID_STR_0006), StrRes::STR_0006[5]);
    EXPECT_EQ (loader->getFont(), StrRes::DEFAULT_FONT_MAC[5]);
}

TEST_F (LocaleEnv, LoadCopiesTheRequestedTable)
{
    auto* loader = TxtLoader::getInstance();
    loader->Load (TxtLoader::FLG_DEFAULT_FONT_WIN);
    EXPECT_EQ (loader->getFont (static_cast<LangIdTable_t> (3)), StrRes::DEFAULT_FONT_WIN[3]);
    loader->Load (static_cast<TxtLoader::FlgTable_t> (9)); // unknown: nothing changes
    EXPECT_EQ (loader->getString (ID_NAME_001), "MARVEK NUBLA");
}

TEST_F (LocaleEnv, PreferredLanguagesChooseSlotZero)
{
    struct Case { const char* language; const char* lcAll; const char* lang; };
    const Case cases[] = {
        { nullptr, nullptr, nullptr },          // no list at all
        { nullptr, nullptr, "C" },              // "C" is no preference
        { nullptr, "POSIX", "C.UTF-8" },
        { "fr:en", nullptr, nullptr },
        { "de_DE:en_US", nullptr, nullptr },
        { nullptr, "de_DE.UTF-8", "en_US.UTF-8" },
    };
    for (const auto& c : cases)
    {
        clear();
        if (c.language) set ("LANGUAGE", c.language);
        if (c.lcAll) set ("LC_ALL", c.lcAll);
        if (c.lang) set ("LANG", c.lang);
        auto* loader = TxtLoader::getInstance();
        EXPECT_EQ (loader->m_curLang, 0) << (c.language ? c.language : "-") << " " << (c.lang ? c.lang : "-");
        EXPECT_EQ (loader->getString (ID_STR_0000), "Updater Program");
        for (bool enabled : loader->m_langEnable)
            EXPECT_TRUE (enabled);
    }
}

TEST_F (LocaleEnv, ListIsReadInGettextOrder)
{
    set ("LANGUAGE", "fr::pt_BR");
    set ("LC_ALL", "");
    set ("LC_MESSAGES", "C");
    set ("LANG", "en_GB.UTF-8@euro");
    EXPECT_EQ (TxtLoader::readPreferredLanguages(), juce::StringArray ({ "fr", "pt_BR", "en_GB" }));
}

TEST (TxtLoaderLocale, CanonicalIdentifiers)
{
    const std::pair<const char*, const char*> cases[] = {
        { "en_GB.UTF-8@euro", "en_GB" },
        { "de_DE", "de_DE" },
        { "en-us", "en_US" },
        { "FR", "fr" },
        { "sr_RS@latin", "sr_RS" },
        { "C.UTF-8", "C" },
        { "POSIX", "POSIX" },
        { "", "" },
    };
    for (const auto& [name, id] : cases)
        EXPECT_EQ (TxtLoader::canonicalLocaleId (name), juce::String (id)) << name;
}

// With codes that differ per slot, the first preference that matches decides.
TEST (TxtLoaderLocale, FirstMatchingPreferenceChoosesTheSlot)
{
    const juce::String codes[] = { "en", "fr", "de", "ja" };
    struct Case { juce::StringArray preferred; int slot; };
    const Case cases[] = {
        { {}, 0 },
        { { "de_DE", "en_US" }, 2 },
        { { "it_IT", "JA_JP" }, 3 },
        { { "it_IT", "es_ES" }, 0 },
        { { "", "fr_FR" }, 1 },
        { { "d\xc3\xa9_DE", "fr" }, 1 },    // not ASCII: skipped
    };
    for (const auto& c : cases)
        EXPECT_EQ (TxtLoader::chooseSlot (c.preferred, codes, 4), c.slot) << c.preferred.joinIntoString (",");
}

TEST_F (LocaleEnv, ReleaseLetsGetInstanceReadTheEnvironmentAgain)
{
    auto* first = TxtLoader::getInstance();
    first->setLocale (static_cast<LangIdTable_t> (7));
    TxtLoader::createInstance(); // an instance exists: nothing happens
    EXPECT_EQ (TxtLoader::getInstance(), first);
    EXPECT_EQ (TxtLoader::getInstance()->m_curLang, 7);

    TxtLoader::releaseInstance();
    set ("LANG", "en_US.UTF-8");
    auto* second = TxtLoader::getInstance();
    ASSERT_NE (second, nullptr);
    EXPECT_EQ (second->m_curLang, 0);
    EXPECT_EQ (second->getString (ID_STR_0006), kStr0006);
}
