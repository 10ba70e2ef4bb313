#include "ScreenFixture.h"

#include "text/TxtLoader.h"
#include "ui/ProgressLookAndFeel.h"

#include <thread>

using screentest::ScreenFixture;

namespace
{
enum class Focus { none, ok, cancel };

// What the screen must show for one status.
struct Expected
{
    int32_t status;
    juce::String text;
    bool langBox, bar, ok, cancel, warning;
    const char* okCaption;
    const char* cancelCaption;
    juce::Rectangle<int> okBounds, cancelBounds;
    Focus focus;
};

const juce::Rectangle<int> rightSlot (334, 86, 100, 20), leftSlot (224, 86, 100, 20), none;

const juce::String transferText = "Updating your MARVEK NUBLA firmware.\n\n"
                                  "Please wait for a few moments until the update process is complete.";
const juce::String fileErrorText = "There is an error in the update file.\n\nError ID:\t0x";
const juce::String deviceErrorText = "An error has occurred.\nIt was not possible to update the program.\n\nError ID:\t0x";

Expected transfer (int32_t status)
{
    return { status, transferText, false, true, false, false, false, nullptr, nullptr, none, none, Focus::none };
}

Expected fileError (int32_t status, const char* hex)
{
    return { status, fileErrorText + hex, false, false, false, true, true, nullptr, "Close", none, rightSlot, Focus::cancel };
}

Expected deviceError (int32_t status, const char* hex)
{
    return { status, deviceErrorText + hex, false, false, false, true, true, nullptr, "Close", none, rightSlot, Focus::cancel };
}

// In the order the statuses are met.
std::vector<Expected> everyStatus()
{
    return {
        { STEP_IDLE, "Update Start\n\nPlease USB-B Conect & Push OK Button.",
          true, false, true, true, false, "OK", "Cancel", rightSlot, leftSlot, Focus::ok },
        { STEP_READY, "Updates the version of your MARVEK NUBLA firmware."
                      "Current Version: Ver. 1.02\nUpdate Version: Ver. 1.05",
          false, false, true, true, false, "Start", "Close", rightSlot, leftSlot, Focus::ok },
        { ERR_NOT_CONNECTED, "Your MARVEK NUBLA is not connected.\n\nError ID:\t0x0E21",
          false, false, false, true, true, nullptr, "Close", none, rightSlot, Focus::cancel },
        transfer (STEP_AREA), transfer (STEP_DATA), transfer (STEP_SUM), transfer (STEP_POLL), transfer (STEP_FINISH),
        { STEP_DONE, "The update of your version of the MARVEK NUBLA firmware is now complete.\n\n",
          false, false, true, false, false, "OK", nullptr, rightSlot, none, Focus::ok },
        fileError (ERR_FILE_MISSING, "0E01"), fileError (ERR_FILE_READ, "0E02"), fileError (ERR_FILE_SIZE, "0E03"),
        fileError (ERR_FILE_VERSION, "0E04"), fileError (ERR_FILE_CRC, "0E05"),
        deviceError (ERR_DEV_VERSION, "0E11"), deviceError (ERR_DEV_NG1, "0E31"), deviceError (ERR_STREAM, "0E32"),
        deviceError (ERR_DEV_NG2, "0E33"), deviceError (ERR_DEV_NG3, "0E34"), deviceError (ERR_DEV_NG4, "0E35"),
        deviceError (ERR_NO_RESPONSE, "0E36"), deviceError (ERR_REMOVED, "0E37"), deviceError (ERR_PROTOCOL, "0E41"),
    };
}

bool isWarningYellow (juce::Colour c)
{
    return std::abs (c.getRed() - 0xE1) < 24 && std::abs (c.getGreen() - 0xD0) < 24 && std::abs (c.getBlue() - 0x40) < 40;
}

juce::String describe (int32_t status) { return "status 0x" + juce::String::toHexString (status); }
} // namespace

TEST_F (ScreenFixture, EveryStatusShowsItsTextControlsAndImage)
{
    for (const auto& e : everyStatus())
    {
        SCOPED_TRACE (describe (e.status));
        openWindow();
        m_probe->devVersion() = "1.02";
        m_probe->fileVersion() = "1.05";
        showStepsUpTo (e.status);

        EXPECT_EQ (glyphText(), e.text);
        EXPECT_EQ (m_probe->langBox()->isVisible(), e.langBox);
        EXPECT_EQ (m_probe->progressBar()->isVisible(), e.bar);
        auto& ok = *m_probe->okButton();
        auto& cancel = *m_probe->cancelButton();
        ASSERT_EQ (ok.isVisible(), e.ok);
        ASSERT_EQ (cancel.isVisible(), e.cancel);
        if (e.ok)
        {
            EXPECT_EQ (ok.getButtonText(), e.okCaption);
            EXPECT_EQ (ok.getBounds(), e.okBounds);
        }
        if (e.cancel)
        {
            EXPECT_EQ (cancel.getButtonText(), e.cancelCaption);
            EXPECT_EQ (cancel.getBounds(), e.cancelBounds);
        }
        EXPECT_EQ (ok.getName(), "OK");
        EXPECT_EQ (cancel.getName(), "Cancel");
        EXPECT_EQ (m_window->getName(), "Updater Program");

        // Every glyph lies inside the screen.
        const auto textBounds = m_probe->glyphs().getBoundingBox (0, -1, false);
        EXPECT_TRUE (m_screen->getLocalBounds().toFloat().contains (textBounds)) << textBounds.toString();

        const auto image = snapshot();
        EXPECT_EQ (isWarningYellow (image.getPixelAt (38, 64)), e.warning);

        // The first paint places the keyboard focus.
        if (e.focus != Focus::none)
        {
            auto& holder = e.focus == Focus::ok ? ok : cancel;
            EXPECT_TRUE (testsupport::runUntil ([&] { return holder.hasKeyboardFocus (true); }, 2000));
        }
    }
}

TEST_F (ScreenFixture, ReadyVersionsSitRightUnderTheFirstLine)
{
    m_probe->devVersion() = "1.02";
    m_probe->fileVersion() = "1.05";
    showStatus (STEP_READY);

    auto& glyphs = m_probe->glyphs();
    const juce::String firstLine = "Updates the version of your MARVEK NUBLA firmware.";
    const auto lastOfFirst = glyphs.getBoundingBox (firstLine.length() - 1, 1, true);
    const auto current = glyphs.getBoundingBox (firstLine.length(), 1, true);
    EXPECT_FLOAT_EQ (current.getY(), lastOfFirst.getBottom());
    EXPECT_EQ (glyphs.getGlyph (firstLine.length()).getLeft(), 40.0f);
    // Block 1 is bold, block 2 plain, both at height 13.
    // The glyph widths tell the style apart: "U" of block 1 and "C" of block 2.
    const juce::Font bold ("Verdana", 13.0f, juce::Font::bold), plain ("Verdana", 13.0f, juce::Font::plain);
    const auto& u = glyphs.getGlyph (0);
    const auto& c = glyphs.getGlyph (firstLine.length());
    EXPECT_FLOAT_EQ (u.getRight() - u.getLeft(), bold.getStringWidthFloat ("U"));
    EXPECT_NE (bold.getStringWidthFloat ("U"), plain.getStringWidthFloat ("U"));
    EXPECT_FLOAT_EQ (c.getRight() - c.getLeft(), plain.getStringWidthFloat ("C"));
    EXPECT_FLOAT_EQ (u.getBounds().getHeight(), 13.0f);
}

TEST_F (ScreenFixture, IdleSecondBlockStartsOneEmptyLineLower)
{
    auto& glyphs = m_probe->glyphs();
    const int firstOfSecond = juce::String ("Update Start\n\n").length();
    const float lineOne = glyphs.getGlyph (0).getBaselineY();
    const float blockTwo = glyphs.getGlyph (firstOfSecond).getBaselineY();
    EXPECT_NEAR (blockTwo - lineOne, 2.0f * 13.0f, 4.0f);
    EXPECT_EQ (glyphs.getGlyph (0).getLeft(), 20.0f);
    EXPECT_EQ (glyphs.getGlyph (firstOfSecond).getLeft(), 40.0f);
}

// The opaque bar covers 46 to 66; the request to wait must not start under it.
TEST_F (ScreenFixture, TransferTextStaysClearOfTheProgressBar)
{
    showStatus (STEP_AREA);
    auto& glyphs = m_probe->glyphs();
    const int firstOfSecond = juce::String ("Updating your MARVEK NUBLA firmware.\n\n").length();
    EXPECT_EQ (glyphs.getGlyph (0).getLeft(), 35.0f);
    EXPECT_EQ (glyphs.getGlyph (firstOfSecond).getLeft(), 35.0f);
    const auto bar = m_probe->progressBar()->getBounds().toFloat();
    EXPECT_GE (glyphs.getBoundingBox (firstOfSecond, -1, false).getY(), bar.getBottom());
    EXPECT_LE (glyphs.getBoundingBox (0, firstOfSecond, false).getBottom(), bar.getY());
}

TEST_F (ScreenFixture, StartedScreenHasNoTextAndKeepsTheReadyButtons)
{
    showStatus (STEP_READY);
    showStatus (STEP_BEGIN);
    EXPECT_EQ (m_probe->glyphs().getNumGlyphs(), 0);
    EXPECT_TRUE (m_probe->okButton()->isVisible());
    EXPECT_EQ (m_probe->okButton()->getButtonText(), "Start");
    EXPECT_TRUE (m_probe->cancelButton()->isVisible());
    EXPECT_EQ (m_probe->cancelButton()->getButtonText(), "Close");
}

TEST_F (ScreenFixture, BarColourFollowsAreaZero)
{
    const auto barColour = [this] { return m_probe->progressBar()->findColour (juce::ProgressBar::backgroundColourId); };
    const juce::Colour pink (0xFFFA32C8u), dark (0xFF080808u);
    EXPECT_EQ (barColour(), dark); // at construction

    // An update that writes area 0 keeps its colour through every transfer step and area.
    m_probe->area0Begun() = true;
    for (int32_t status = STEP_AREA; status <= STEP_FINISH; ++status)
    {
        for (int kind : { 0, 1, 2, 3 })
        {
            m_probe->curKind() = kind;
            showStatus (status);
            EXPECT_EQ (barColour(), pink) << "status " << status << " area " << kind;
        }
    }

    // One that starts with area 1 shows the dark background all the way.
    openWindow();
    for (int32_t status = STEP_AREA; status <= STEP_FINISH; ++status)
    {
        for (int kind : { 1, 2, 3 })
        {
            m_probe->curKind() = kind;
            showStatus (status);
            EXPECT_EQ (barColour(), dark) << "status " << status << " area " << kind;
        }
    }
    EXPECT_EQ (snapshot().getPixelAt (21, 64), dark); // bar's bottom-left corner
}

TEST_F (ScreenFixture, BarFollowsTheWorkersProgress)
{
    showStatus (STEP_DATA);
    m_probe->progress() = 0.25;
    EXPECT_TRUE (testsupport::runUntil ([this] { return m_probe->barValue() == 0.25; }, 1000));
    m_probe->progress() = 0.5;
    m_screen->handleAsyncUpdate();
    EXPECT_EQ (m_probe->barValue(), 0.5); // a redraw refreshes it at once
    EXPECT_EQ (m_probe->progressBar()->getBounds(), juce::Rectangle<int> (20, 46, 414, 20));
}

TEST_F (ScreenFixture, LanguageBoxOffersEverySlotAndNeverTakesFocus)
{
    auto& box = *m_probe->langBox();
    ASSERT_EQ (box.getNumItems(), 12);
    for (int i = 0; i < 12; ++i)
    {
        EXPECT_EQ (box.getItemText (i), "English");
        EXPECT_EQ (box.getItemId (i), i + 1);
    }
    EXPECT_EQ (box.getSelectedId(), 1);
    EXPECT_FALSE (box.getWantsKeyboardFocus());
    EXPECT_TRUE (box.getBounds().isEmpty());
    EXPECT_EQ (&box.getLookAndFeel(), &juce::LookAndFeel::getDefaultLookAndFeel());
    EXPECT_EQ (m_probe->progressBar()->findColour (juce::ProgressBar::backgroundColourId), juce::Colour (0xFF080808u));
    EXPECT_NE (dynamic_cast<ProgressLookAndFeel*> (&m_probe->progressBar()->getLookAndFeel()), nullptr);
    EXPECT_EQ (m_probe->okButton()->findColour (juce::TextButton::buttonColourId), juce::Colour (0xFFEAEAEAu));
    EXPECT_EQ (m_probe->cancelButton()->findColour (juce::TextButton::buttonOnColourId), juce::Colour (0xFFEAEAEAu));
}

TEST_F (ScreenFixture, ChoosingAnotherSlotReloadsTheTexts)
{
    auto& box = *m_probe->langBox();
    box.setSelectedId (6, juce::sendNotificationSync);
    EXPECT_EQ (TxtLoader::getInstance()->m_curLang, 5);
    EXPECT_EQ (glyphText(), "Update Start\n\nPlease USB-B Conect & Push OK Button.");
    EXPECT_EQ (box.getSelectedId(), 6);
}

TEST_F (ScreenFixture, StackingOrderAndBackground)
{
    ASSERT_EQ (m_screen->getNumChildComponents(), 4);
    EXPECT_EQ (m_screen->getChildComponent (0), m_probe->langBox());
    EXPECT_EQ (m_screen->getChildComponent (1), m_probe->progressBar());
    EXPECT_EQ (m_screen->getChildComponent (2), m_probe->okButton());
    EXPECT_EQ (m_screen->getChildComponent (3), m_probe->cancelButton());
    EXPECT_EQ (snapshot().getPixelAt (440, 5), juce::Colour (0xFFEAEAEAu));
    EXPECT_EQ (m_screen->getWidth(), 454);
    EXPECT_EQ (m_screen->getHeight(), 126);
}

// Requests from the worker fold into one redraw, and a redraw with nothing new keeps the glyphs.
TEST_F (ScreenFixture, WorkerRequestsFoldAndKeepTheGlyphs)
{
    showStatus (STEP_DATA);
    // Mark the laid-out text: a rebuild would put the first glyph back at x = 35.
    m_probe->glyphs().getGlyph (0).moveBy (100.0f, 0.0f);
    std::thread worker ([this] {
        for (int i = 0; i < 1000; ++i)
        {
            m_probe->progress() = i / 1000.0;
            m_probe->requestRedraw();
        }
    });
    worker.join();
    EXPECT_TRUE (testsupport::runUntil ([this] { return ! m_screen->isUpdatePending(); }, 2000));
    EXPECT_EQ (m_probe->glyphs().getGlyph (0).getLeft(), 135.0f);
    EXPECT_EQ (m_probe->barValue(), 0.999);
    EXPECT_EQ (glyphText(), transferText);

    // A changed status is never skipped.
    m_probe->storeStatus (ERR_REMOVED);
    m_probe->requestRedraw();
    EXPECT_TRUE (testsupport::runUntil ([this] { return glyphText().endsWith ("0x0E37"); }, 2000));
    EXPECT_EQ (m_probe->glyphs().getGlyph (0).getLeft(), 105.0f);
}
