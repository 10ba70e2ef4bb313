// What the screen shows for each update status: its text, its controls and their
// captions, the progress bar's colour, and the ways a redraw comes about.
#include "app/MainComponent.h"

#include "app/ScreenLayout.h"

#include "text/TextFormat.h"
#include "text/TxtLoader.h"
#include "ui/AlineButton.h"

namespace
{
constexpr float textHeight = 13.0f;
constexpr float minHorizontalScale = 0.7f;
constexpr int firstBlockTop = 20;
constexpr int belowBarGap = 4;
const juce::Colour areaZeroBarColour (0xFFFA32C8u);
const juce::Colour otherAreasBarColour (0xFF080808u);

bool IsTransferStatus (int32_t status) { return status >= STEP_AREA && status <= STEP_FINISH; }
bool IsFileError (int32_t status) { return status >= ERR_FILE_MISSING && status <= ERR_FILE_CRC; }

// The screen's text for one status: block 1 at y = 20, block 2 (always plain) right
// under block 1's last glyph. x and width are given against the screen's width w.
struct ScreenText
{
    juce::String first;
    bool firstBold = false;
    int firstX = 0;
    int firstWidthLess = 0; // block 1 is w − this wide
    juce::String second;
    int secondX = 0;
    int secondWidthLess = 0;
};

const juce::String& Text (StrIdTable_t id) { return TxtLoader::getInstance()->getString (id); }
juce::String WithProductName (StrIdTable_t id) { return FormatText (Text (id), { Text (ID_NAME_001) }); }

// "Ver. %s.%02s" takes the version text's first character and its third and fourth.
juce::String VersionLine (StrIdTable_t id, const juce::String& version)
{
    return FormatText (Text (id), { version.substring (0, 1), version.substring (2, 4) });
}

juce::String ErrorLine (int32_t status)
{
    return "\n\nError ID:\t0x" + juce::String::toHexString (status).toUpperCase().paddedLeft ('0', 4);
}

ScreenText TextForStatus (int32_t status, const juce::String& devVersion, const juce::String& fileVersion)
{
    if (status == STEP_IDLE)
        return { Text (ID_STR_0005) + "\n\n", true, 20, 40, Text (ID_STR_0006), 40, 60 };
    if (status == STEP_READY)
        return { WithProductName (ID_STR_0009), true, 20, 40,
                 VersionLine (ID_STR_0010, devVersion) + "\n" + VersionLine (ID_STR_0011, fileVersion), 40, 60 };
    if (IsTransferStatus (status))
        return { WithProductName (ID_STR_0012) + "\n\n", true, 35, 20, Text (ID_STR_0013), 35, 60 };
    if (status == STEP_DONE)
        return { WithProductName (ID_STR_0014) + "\n\n", false, 15, 15, {}, 0, 0 };
    if (IsFileError (status))
        return { Text (ID_STR_0007) + ErrorLine (status), false, 105, 125, {}, 0, 0 };
    if (status == ERR_NOT_CONNECTED)
        return { WithProductName (ID_STR_0008) + ErrorLine (status), false, 105, 125, {}, 0, 0 };
    if (IsErrorStatus (status))
        return { Text (ID_STR_0015) + "\n" + Text (ID_STR_0016) + ErrorLine (status), false, 105, 125, {}, 0, 0 };
    return {}; // STEP_BEGIN: no text until the worker moves on
}

void AddBlock (juce::GlyphArrangement& glyphs, const juce::String& text, const juce::String& typeface, bool bold,
               int x, int y, int width, int height)
{
    const juce::Font font (typeface, textHeight, bold ? juce::Font::bold : juce::Font::plain);
    const int maxLines = (int) ((float) height / textHeight);
    glyphs.addFittedText (font, text, (float) x, (float) y, (float) width, (float) height,
                          juce::Justification::topLeft, maxLines, minHorizontalScale);
}

// Bottom edge of the last glyph, whitespace included; block 2 starts there.
int BottomOfLastGlyph (const juce::GlyphArrangement& glyphs)
{
    const int count = glyphs.getNumGlyphs();
    if (count == 0)
        return firstBlockTop;
    return (int) glyphs.getBoundingBox (count - 1, 1, true).getBottom();
}
} // namespace

std::atomic<MainComponent::DrawingObserver> MainComponent::s_drawingObserver { nullptr };

void MainComponent::SetDrawingObserver (DrawingObserver observer) noexcept
{
    s_drawingObserver = observer;
}

void MainComponent::UpdateDrawing()
{
    const auto typeface = TxtLoader::getInstance()->getFont();
    if (auto* window = getParentComponent())
        window->setName (Text (ID_STR_0000));

    const int32_t status = m_updStatus.load();
    const bool textChanged = UpdateText (status, typeface);
    UpdateControls (status, typeface);
    if (textChanged)
        repaint();

    if (auto observer = s_drawingObserver.load())
        observer (*this);
}

// Rebuilds m_glyphs for the status; returns false, leaving them as they are, when they
// would come out the same as last time (the worker asks for a redraw at every pass).
bool MainComponent::UpdateText (int32_t status, const juce::String& typeface)
{
    // The device's version is published before STEP_READY and only read from then on.
    const bool showsVersions = status == STEP_READY;
    const auto text = TextForStatus (status, showsVersions ? m_devVersion : juce::String(),
                                     showsVersions ? m_fileVersion : juce::String());

    const int w = getWidth(), h = getHeight();
    const auto source = juce::String (status) + "|" + typeface + "|" + juce::String (w) + "x" + juce::String (h)
                        + "|" + juce::String ((int) text.firstBold) + text.first + "|" + text.second;
    if (source == m_glyphsSource && m_glyphs.getNumGlyphs() > 0)
        return false;
    m_glyphsSource = source;

    m_glyphs.clear();
    if (text.first.isNotEmpty())
        AddBlock (m_glyphs, text.first, typeface, text.firstBold, text.firstX, firstBlockTop,
                  w - text.firstWidthLess, h - firstBlockTop);
    if (text.second.isNotEmpty())
    {
        int top = BottomOfLastGlyph (m_glyphs);
        // The opaque progress bar would hide the request to wait, which would start right
        // where the bar does; it goes just below the bar instead.
        if (IsTransferStatus (status))
            top = juce::jmax (top, ScreenLayout::ProgressBarBounds (w, h).getBottom() + belowBarGap);
        AddBlock (m_glyphs, text.second, typeface, false, text.secondX, top, w - text.secondWidthLess, h - top);
    }
    return true;
}

void MainComponent::UpdateControls (int32_t status, const juce::String& typeface)
{
    if (status == STEP_IDLE)
    {
        m_pLangBox->setSelectedId (TxtLoader::getInstance()->m_curLang + 1, juce::sendNotificationAsync);
        m_pLangBox->setVisible (true);
        m_pLangBox->resized();
    }
    else
    {
        m_pLangBox->setVisible (false);
    }

    const bool transfer = IsTransferStatus (status);
    m_barProgress.refresh();
    m_barProgress.follow (transfer);
    m_pProgressBar->setVisible (transfer);
    if (transfer)
    {
        if (m_curKind.load() == 0)
            m_pProgressBar->setColour (juce::ProgressBar::backgroundColourId, areaZeroBarColour);
        else if (! m_area0Begun.load())
            m_pProgressBar->setColour (juce::ProgressBar::backgroundColourId, otherAreasBarColour);
    }

    auto& ok = *m_pOkButton;
    auto& cancel = *m_pCancelButton;
    ok.setFont (typeface);
    cancel.setFont (typeface);

    const auto right = ScreenLayout::RightButtonBounds (getWidth(), getHeight());
    const auto left = ScreenLayout::LeftButtonBounds (getWidth(), getHeight());
    if (status == STEP_IDLE || status == STEP_READY)
    {
        const bool idle = status == STEP_IDLE;
        ok.setVisible (true);
        ok.setButtonText (Text (idle ? ID_STR_0001 : ID_STR_0002));
        ok.setBounds (right);
        cancel.setVisible (true);
        cancel.setButtonText (Text (idle ? ID_STR_0003 : ID_STR_0004));
        cancel.setBounds (left);
    }
    else if (transfer)
    {
        ok.setVisible (false);
        cancel.setVisible (false);
    }
    else if (status == STEP_DONE)
    {
        ok.setVisible (true);
        ok.setButtonText (Text (ID_STR_0001));
        ok.setBounds (right);
    }
    else if (IsErrorStatus (status))
    {
        ok.setVisible (false);
        cancel.setVisible (true);
        cancel.setButtonText (Text (ID_STR_0004));
        cancel.setBounds (right);
    }
}

void MainComponent::handleAsyncUpdate()
{
    const juce::ScopedLock lock (m_drawLock);
    UpdateDrawing();
}

void MainComponent::comboBoxChanged (juce::ComboBox* box)
{
    if (box != m_pLangBox.get())
        return;
    auto* texts = TxtLoader::getInstance();
    const auto slot = static_cast<LangIdTable_t> (box->getSelectedId() - 1);
    if (slot != texts->m_curLang)
        texts->setLocale (slot);
    box->resized();
    UpdateDrawing();
}
