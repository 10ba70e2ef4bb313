#include "text/TxtLoader.h"
#include "ui/AlineButton.h"
#include "ui/BtnLookAndFeel.h"
#include "ui/LangLookAndFeel.h"
#include "ui/ProgressLookAndFeel.h"

#include <gtest/gtest.h>

namespace
{
juce::Image blankImage (int w, int h) { return juce::Image (juce::Image::ARGB, w, h, true); }

bool near (juce::Colour a, juce::Colour b, int tolerance = 6)
{
    return std::abs (a.getRed() - b.getRed()) <= tolerance && std::abs (a.getGreen() - b.getGreen()) <= tolerance
           && std::abs (a.getBlue() - b.getBlue()) <= tolerance && std::abs (a.getAlpha() - b.getAlpha()) <= tolerance;
}

juce::Image paintButtonBody (juce::Button& button, bool down)
{
    auto image = blankImage (button.getWidth(), button.getHeight());
    juce::Graphics g (image);
    BtnLookAndFeel lookAndFeel;
    lookAndFeel.drawButtonBackground (g, button, juce::Colour (0xFFEAEAEAu), false, down);
    return image;
}
} // namespace

TEST (BtnLookAndFeel, FreeButtonIsAPillInsetByHalfAPixel)
{
    juce::TextButton button;
    button.setSize (100, 30);
    const auto body = BtnLookAndFeel::getBodyBounds (button);
    EXPECT_EQ (body, juce::Rectangle<float> (0.5f, 0.5f, 99.0f, 29.0f));

    const auto outline = BtnLookAndFeel::createBodyOutline (body, -1.0f, false, false, false, false);
    EXPECT_TRUE (outline.getBounds().toNearestInt() == juce::Rectangle<int> (0, 0, 100, 30)
                 || outline.getBounds().expanded (0.01f).contains (body));
    // Radius 14.5: the ends are half circles centred at x = 15 and x = 85.
    EXPECT_TRUE (outline.contains (15.0f, 1.0f));
    EXPECT_TRUE (outline.contains (1.0f, 15.0f));
    EXPECT_FALSE (outline.contains (3.0f, 3.0f));
    EXPECT_FALSE (outline.contains (97.0f, 27.0f));
    EXPECT_TRUE (outline.contains (99.0f, 15.0f));

    const auto rest = paintButtonBody (button, false);
    EXPECT_EQ (rest.getPixelAt (0, 0).getAlpha(), 0);
    EXPECT_TRUE (near (rest.getPixelAt (50, 15), juce::Colour (0xFFC3C3C3u), 10)) << rest.getPixelAt (50, 15).toString();
    EXPECT_TRUE (near (rest.getPixelAt (50, 0), juce::Colour (0xFF898989u), 40)) << rest.getPixelAt (50, 0).toString();
    const auto pressed = paintButtonBody (button, true);
    EXPECT_TRUE (near (pressed.getPixelAt (50, 15), juce::Colour (0xFF529CE7u), 10)) << pressed.getPixelAt (50, 15).toString();
}

TEST (BtnLookAndFeel, ConnectedSideIsSquareWithSmallInset)
{
    juce::TextButton button;
    button.setSize (100, 30);
    button.setConnectedEdges (juce::Button::ConnectedOnLeft);
    const auto body = BtnLookAndFeel::getBodyBounds (button);
    EXPECT_FLOAT_EQ (body.getX(), 0.1f);
    EXPECT_FLOAT_EQ (body.getWidth(), 99.4f);
    EXPECT_FLOAT_EQ (body.getY(), 0.5f);

    const auto outline = BtnLookAndFeel::createBodyOutline (body, -1.0f, true, false, false, false);
    EXPECT_TRUE (outline.contains (0.3f, 0.8f));  // square left corners
    EXPECT_TRUE (outline.contains (0.3f, 29.2f));
    EXPECT_FALSE (outline.contains (98.0f, 1.5f)); // right end still round

    const auto image = paintButtonBody (button, false);
    EXPECT_GT (image.getPixelAt (0, 0).getAlpha(), 100);
    EXPECT_EQ (image.getPixelAt (99, 0).getAlpha(), 0);
}

TEST (BtnLookAndFeel, BodyNoWiderThanItsOutlineIsNotDrawn)
{
    for (auto [w, h] : { std::pair { 1.0f, 20.0f }, std::pair { 50.0f, 0.5f } })
    {
        auto image = blankImage (60, 30);
        {
            juce::Graphics g (image);
            BtnLookAndFeel::drawBackground (g, 2.0f, 2.0f, w, h, juce::Colours::red, 1.0f, -1.0f,
                                            false, false, false, false, false);
        }
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 60; ++x)
                ASSERT_EQ (image.getPixelAt (x, y).getAlpha(), 0) << x << "," << y;
    }
}

TEST (ProgressLookAndFeel, FilledWidthIsClamped)
{
    EXPECT_EQ (ProgressLookAndFeel::getFilledWidth (0.5, 204), 100.0);
    EXPECT_EQ (ProgressLookAndFeel::getFilledWidth (1.5, 204), 200.0);
    EXPECT_EQ (ProgressLookAndFeel::getFilledWidth (-1.0, 204), 0.0);
    EXPECT_EQ (ProgressLookAndFeel::getFilledWidth (0.5, 2), 0.0);
}

TEST (ProgressLookAndFeel, DrawsGreyBarOnBackgroundWithoutText)
{
    double value = 0.5;
    juce::ProgressBar bar (value);
    bar.setSize (204, 20);
    const juce::Colour background (0xFFFA32C8u);
    bar.setColour (juce::ProgressBar::backgroundColourId, background);

    auto image = blankImage (204, 20);
    {
        juce::Graphics g (image);
        ProgressLookAndFeel lookAndFeel;
        lookAndFeel.drawProgressBar (g, bar, 204, 20, 0.5, {});
    }
    EXPECT_EQ (image.getPixelAt (1, 10), background);
    EXPECT_EQ (image.getPixelAt (103, 10), background);   // just past 2 + 100
    EXPECT_TRUE (near (image.getPixelAt (100, 2), juce::Colour (0xFFA7A7A7u), 6)) << image.getPixelAt (100, 2).toString();
    EXPECT_TRUE (near (image.getPixelAt (50, 8), juce::Colour (0xFF646464u), 12)) << image.getPixelAt (50, 8).toString();
    for (int x = 0; x < 204; ++x)
        for (int y = 0; y < 20; ++y)
            ASSERT_NE (image.getPixelAt (x, y), juce::Colours::white);
}

TEST (LangLookAndFeel, LanguageItemsTakeTheirTypefaceCappedByItemHeight)
{
    const juce::Font menuFont ("Other", 15.0f, juce::Font::bold);
    const auto language = LangLookAndFeel::getMenuItemFont ("English", 13, menuFont);
    EXPECT_EQ (language.getTypefaceName(), "Verdana");
    EXPECT_FLOAT_EQ (language.getHeight(), 10.0f);
    EXPECT_FALSE (language.isBold());
    EXPECT_FLOAT_EQ (LangLookAndFeel::getMenuItemFont ("English", 30, menuFont).getHeight(), 17.0f);

    const auto other = LangLookAndFeel::getMenuItemFont ("Deutsch", 30, menuFont);
    EXPECT_EQ (other.getTypefaceName(), "Other");
    EXPECT_TRUE (other.isBold());
    EXPECT_EQ (LangLookAndFeel::getMenuItemMargin (13), 16);
}

TEST (LangLookAndFeel, ComboBoxFontFollowsTheSelectedSlot)
{
    LangLookAndFeel lookAndFeel;
    juce::ComboBox box;
    box.setSize (100, 10);
    EXPECT_TRUE (lookAndFeel.getComboBoxFont (box).getTypefaceName().isEmpty()); // nothing selected
    box.addItem ("English", 1);
    box.setSelectedId (1, juce::dontSendNotification);
    const auto font = lookAndFeel.getComboBoxFont (box);
    EXPECT_EQ (font.getTypefaceName(), "Verdana");
    EXPECT_FLOAT_EQ (font.getHeight(), 8.5f);
    box.setSize (100, 30);
    EXPECT_FLOAT_EQ (lookAndFeel.getComboBoxFont (box).getHeight(), 15.0f);
    TxtLoader::releaseInstance();
}

// Typefaces of other systems are drawn by an installed one, keeping bold.
TEST (LangLookAndFeel, MissingTypefaceFallsBackToAnInstalledOneInTheSameStyle)
{
    LangLookAndFeel lookAndFeel;
    const auto installed = juce::Font::findAllTypefaceNames();
    ASSERT_FALSE (installed.isEmpty());
    for (const char* name : { "Verdana", "Hiragino Maru Gothic Pro W4" })
    {
        const auto plain = lookAndFeel.getTypefaceForFont (juce::Font (name, 13.0f, juce::Font::plain));
        const auto bold = lookAndFeel.getTypefaceForFont (juce::Font (name, 13.0f, juce::Font::bold));
        ASSERT_NE (plain, nullptr);
        ASSERT_NE (bold, nullptr);
        EXPECT_TRUE (installed.contains (plain->getName())) << name;
        EXPECT_TRUE (bold->getStyle().containsIgnoreCase ("Bold")) << bold->getStyle();
        EXPECT_GT (plain->getStringWidth ("MARVEK"), 0.0f);
    }
}
