#include "support/MessageLoop.h"
#include "ui/AlineButton.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
struct ClickCounter : juce::Button::Listener
{
    void buttonClicked (juce::Button*) override { ++clicks; }
    int clicks = 0;
};

juce::Image paint (AlineButton& button)
{
    return button.createComponentSnapshot (button.getLocalBounds(), false, 1.0f);
}

bool hasDisplay() { return juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isNotEmpty(); }
} // namespace

TEST (AlineButton, StartsWithNameAsCaptionAndWhiteColours)
{
    AlineButton button ("OK");
    EXPECT_EQ (button.getName(), "OK");
    EXPECT_EQ (button.getButtonText(), "OK");
    EXPECT_EQ (button.findColour (juce::TextButton::buttonColourId), juce::Colours::white);
    EXPECT_EQ (button.findColour (juce::TextButton::buttonOnColourId), juce::Colours::white);
    EXPECT_EQ (button.getCaptionFont().getTypefaceName(), juce::Font::getDefaultSansSerifFontName());
    EXPECT_FALSE (button.getCaptionFont().isBold());
}

TEST (AlineButton, CaptionHeightAndFocusMark)
{
    AlineButton button ("OK");
    button.setSize (100, 30);
    EXPECT_FLOAT_EQ (button.getCaptionFont().getHeight(), 13.0f);
    EXPECT_EQ (button.getFocusMarkBounds(), juce::Rectangle<float> (5.0f, 4.5f, 90.0f, 21.0f));
    button.setSize (100, 10);
    EXPECT_FLOAT_EQ (button.getCaptionFont().getHeight(), 8.0f);
}

TEST (AlineButton, FontAndStyleTakeEffectAtTheNextPaint)
{
    AlineButton button ("OK");
    button.setFont ("Verdana");
    button.setStyle (juce::Font::bold);
    EXPECT_EQ (button.getCaptionFont().getTypefaceName(), "Verdana");
    EXPECT_TRUE (button.getCaptionFont().isBold());
}

TEST (AlineButton, SameCaptionKeepsItAndToggleUsesOnColour)
{
    AlineButton button ("OK");
    button.setSize (100, 30);
    button.setButtonText ("OK");
    EXPECT_EQ (button.getButtonText(), "OK");
    button.setButtonText ("Start");
    EXPECT_EQ (button.getButtonText(), "Start");

    button.setButtonText ({});
    button.setColour (juce::TextButton::buttonColourId, juce::Colour (0xFF00FF00u));
    button.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xFF0000FFu));
    const auto off = paint (button).getPixelAt (50, 15);
    button.setToggleState (true, juce::dontSendNotification);
    const auto on = paint (button).getPixelAt (50, 15);
    EXPECT_GT (off.getGreen(), off.getBlue());
    EXPECT_GT (on.getBlue(), on.getGreen());
}

TEST (AlineButton, OnlyReturnIsConsumed)
{
    AlineButton button ("OK");
    EXPECT_FALSE (button.keyPressed (juce::KeyPress ('a')));
    EXPECT_FALSE (button.keyPressed (juce::KeyPress (juce::KeyPress::spaceKey)));
    EXPECT_FALSE (button.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    EXPECT_TRUE (button.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));
}

// Return pressed, with the key no longer down, clicks at the next paint and only once.
TEST (AlineButton, ReturnClicksOnceAtTheNextPaint)
{
    AlineButton button ("OK");
    button.setSize (100, 30);
    ClickCounter counter;
    button.addListener (&counter);
    ASSERT_TRUE (button.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));
    testsupport::runFor (50);
    EXPECT_EQ (counter.clicks, 0); // nothing painted yet
    paint (button);
    EXPECT_TRUE (testsupport::runUntil ([&] { return counter.clicks == 1; }, 2000));
    paint (button);
    testsupport::runFor (100);
    EXPECT_EQ (counter.clicks, 1);
    button.removeListener (&counter);
}

// The real key, through the X server: held gives no click, released gives exactly one. The
// key events go straight to the button's own window, so no other window on the display can
// take them away.
TEST (AlineButton, ReturnHeldClicksOnlyWhenReleased)
{
    if (! hasDisplay())
        GTEST_SKIP() << "no X display (run under xvfb-run)";
    if (std::system ("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool is missing";

    AlineButton button ("OK");
    button.setSize (100, 30);
    button.addToDesktop (0);
    button.setVisible (true);
    ClickCounter counter;
    button.addListener (&counter);
    ASSERT_TRUE (testsupport::runUntil ([&] { return button.isShowing(); }, 3000));

    const auto windowId = juce::String ((juce::uint64) (juce::pointer_sized_uint) button.getWindowHandle());
    const auto send = [&windowId] (const char* action) {
        return std::system (("xdotool " + juce::String (action) + " --window " + windowId + " Return").toRawUTF8());
    };

    ASSERT_EQ (send ("keydown"), 0);
    ASSERT_TRUE (testsupport::runUntil ([] { return juce::KeyPress::isKeyCurrentlyDown (juce::KeyPress::returnKey); }, 3000));
    testsupport::runFor (300); // held: painted pressed again and again, no click
    EXPECT_EQ (counter.clicks, 0);
    const auto held = paint (button).getPixelAt (50, 15);
    EXPECT_GT (held.getBlue(), held.getRed() + 60) << held.toString(); // the pressed body is blue
    EXPECT_EQ (counter.clicks, 0);

    ASSERT_EQ (send ("keyup"), 0);
    EXPECT_TRUE (testsupport::runUntil ([&] { return counter.clicks > 0; }, 3000));
    testsupport::runFor (200);
    EXPECT_EQ (counter.clicks, 1);
    button.removeListener (&counter);
}
