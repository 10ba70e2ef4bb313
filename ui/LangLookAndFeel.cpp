#include "ui/LangLookAndFeel.h"

#include "text/StrRes.h"
#include "text/TxtLoader.h"

juce::Font LangLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    const auto slot = static_cast<LangIdTable_t> (box.getSelectedId() - 1);
    const auto& typeface = TxtLoader::getInstance()->getFont (slot);
    return juce::Font (typeface, juce::jmin ((float) box.getHeight() * 0.85f, 15.0f), juce::Font::plain);
}

juce::Typeface::Ptr LangLookAndFeel::getTypefaceForFont (const juce::Font& font)
{
    static const auto installed = juce::Font::findAllTypefaceNames();

    auto typeface = LookAndFeel_V2::getTypefaceForFont (font);
    if (typeface != nullptr && installed.contains (typeface->getName()))
        return typeface;

    juce::Font fallback (font);
    fallback.setTypefaceName (juce::Font::getDefaultSansSerifFontName());
    return juce::Font::getDefaultTypefaceForFont (fallback);
}

juce::Font LangLookAndFeel::getMenuItemFont (const juce::String& text, int itemHeight, const juce::Font& menuFont)
{
    auto font = menuFont;
    for (int slot = 0; slot < LANG_COUNT; ++slot)
    {
        if (text == StrRes::LANGUAGE_SELECTION[slot])
        {
            font = juce::Font (StrRes::DEFAULT_FONT_MAC[slot], 17.0f, juce::Font::plain);
            break;
        }
    }
    const float maxHeight = (float) itemHeight / 1.3f;
    if (font.getHeight() > maxHeight)
        font.setHeight (maxHeight);
    return font;
}

void LangLookAndFeel::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area,
                                         bool isSeparator, bool isActive, bool isHighlighted, bool isTicked,
                                         bool hasSubMenu, const juce::String& text, const juce::String& shortcutKeyText,
                                         const juce::Drawable* icon, const juce::Colour* textColour)
{
    juce::Graphics::ScopedSaveState state (g);
    g.setOrigin (area.getPosition());
    const int w = area.getWidth(), h = area.getHeight();
    const float mid = (float) h * 0.5f;

    if (isSeparator)
    {
        g.setColour (juce::Colour (0x33000000u));
        g.drawLine (5.5f, mid, (float) w - 5.5f, mid);
        g.setColour (juce::Colour (0x66FFFFFFu));
        g.drawLine (5.5f, mid + 1.0f, (float) w - 5.5f, mid + 1.0f);
        return;
    }

    auto colour = textColour != nullptr ? *textColour : findColour (juce::PopupMenu::textColourId);
    if (isHighlighted)
    {
        g.setColour (juce::Colour (0xFF000040u));
        g.fillRect (1, 1, w - 2, h - 2);
        colour = findColour (juce::PopupMenu::highlightedTextColourId);
    }
    g.setColour (isActive ? colour : colour.withMultipliedAlpha (0.3f));

    const auto font = getMenuItemFont (text, h, getPopupMenuFont());
    g.setFont (font);
    const int margin = getMenuItemMargin (h);

    if (icon != nullptr)
    {
        icon->drawWithin (g, juce::Rectangle<float> (2.0f, 1.0f, (float) (margin - 4), (float) (h - 2)),
                          juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize, 1.0f);
    }
    else if (isTicked)
    {
        const auto tick = getTickShape (1.0f);
        const float ascent = font.getAscent();
        g.fillPath (tick, tick.getTransformToScaleToFit (2.0f, mid - ascent * 0.5f, (float) (margin - 4), ascent, true));
    }

    g.drawFittedText (text, margin, 0, w - margin - 4, h, juce::Justification::centredLeft, 1, 0.7f);

    if (shortcutKeyText.isNotEmpty())
    {
        auto shortcutFont = font.withHeight (font.getHeight() * 0.75f);
        shortcutFont.setHorizontalScale (0.95f);
        g.setFont (shortcutFont);
        g.drawText (shortcutKeyText, margin, 0, w - margin - 8, h, juce::Justification::centredRight, true);
    }

    if (hasSubMenu)
    {
        const float arrow = 0.6f * getPopupMenuFont().getAscent();
        const float left = (float) w - (float) h * 0.6f;
        juce::Path triangle;
        triangle.addTriangle (left, mid - arrow * 0.5f, left, mid + arrow * 0.5f, left + arrow * 0.6f, mid);
        g.fillPath (triangle);
    }
}
