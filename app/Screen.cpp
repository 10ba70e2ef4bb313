// The screen's parts and layout: its components, background, warning image, button
// places and keyboard focus. What it says per status is in ScreenContent.cpp.
#include "app/MainComponent.h"

#include "app/ScreenLayout.h"

#include "text/TxtLoader.h"
#include "ui/AlineButton.h"
#include "ui/ProgressLookAndFeel.h"

#include <BinaryData.h>

namespace
{
const juce::Colour screenColour (0xFFEAEAEAu);
const juce::Colour buttonColour (0xFFEAEAEAu);
const juce::Colour idleBarColour (0xFF080808u);
const juce::Rectangle<float> warningArea (20.0f, 15.0f, 64.0f, 64.0f);
} // namespace

void MainComponent::CreateScreen()
{
    auto* texts = TxtLoader::getInstance();

    m_langLookAndFeel.setDefaultSansSerifTypefaceName ("Hiragino Maru Gothic Pro W4");
    juce::LookAndFeel::setDefaultLookAndFeel (&m_langLookAndFeel);

    m_pLangBox = std::make_unique<juce::ComboBox> ("langs");
    addAndMakeVisible (*m_pLangBox);
    m_pLangBox->setLookAndFeel (&m_langLookAndFeel);
    m_pLangBox->addListener (this);
    m_pLangBox->setWantsKeyboardFocus (false);
    for (int slot = 0; slot < LANG_COUNT; ++slot)
        if (texts->m_langEnable[slot])
            m_pLangBox->addItem (texts->getLang (static_cast<LangIdTable_t> (slot)), slot + 1);
    // Nothing was selected, so this posts the change that first draws the screen.
    m_pLangBox->setSelectedId (texts->m_curLang + 1, juce::sendNotificationAsync);

    m_pProgressLookAndFeel = std::make_unique<ProgressLookAndFeel>();
    m_pProgressBar = std::make_unique<juce::ProgressBar> (m_barProgress.value());
    addAndMakeVisible (*m_pProgressBar);
    m_pProgressBar->setLookAndFeel (m_pProgressLookAndFeel.get());
    m_pProgressBar->setColour (juce::ProgressBar::backgroundColourId, idleBarColour);

    for (auto* button : { &m_pOkButton, &m_pCancelButton })
    {
        *button = std::make_unique<AlineButton> (button == &m_pOkButton ? "OK" : "Cancel");
        addAndMakeVisible (**button);
        (*button)->addListener (this);
        (*button)->setStyle (juce::Font::bold);
        (*button)->setColour (juce::TextButton::buttonColourId, buttonColour);
        (*button)->setColour (juce::TextButton::buttonOnColourId, buttonColour);
    }
}

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (screenColour);

    const int32_t status = m_updStatus.load();
    if (IsErrorStatus (status))
    {
        const auto image = juce::ImageCache::getFromMemory (BinaryData::warning_png, BinaryData::warning_pngSize);
        g.drawImage (image, warningArea, juce::RectanglePlacement::stretchToFit, false);
    }

    g.setColour (juce::Colours::black);
    m_glyphs.draw (g);

    PlaceFocus (status);
}

void MainComponent::PlaceFocus (int32_t status)
{
    auto& ok = *m_pOkButton;
    auto& cancel = *m_pCancelButton;
    if (status == STEP_IDLE || status == STEP_READY)
    {
        if (! ok.hasKeyboardFocus (true) && ! cancel.hasKeyboardFocus (true))
            ok.grabKeyboardFocus();
    }
    else if (status == STEP_DONE)
    {
        if (! ok.hasKeyboardFocus (true))
            ok.grabKeyboardFocus();
    }
    else if (IsErrorStatus (status))
    {
        if (! cancel.hasKeyboardFocus (true))
            cancel.grabKeyboardFocus();
    }
}

void MainComponent::resized()
{
    UpdateDrawing();
    m_pProgressBar->setBounds (ScreenLayout::ProgressBarBounds (getWidth(), getHeight()));
    PlaceButtons();
}

// OK at the right; Cancel left of it, or in its place while OK is hidden.
void MainComponent::PlaceButtons()
{
    const int w = getWidth(), h = getHeight();
    if (m_pOkButton->isVisible())
    {
        m_pOkButton->setBounds (ScreenLayout::RightButtonBounds (w, h));
        m_pCancelButton->setBounds (ScreenLayout::LeftButtonBounds (w, h));
    }
    else
    {
        m_pCancelButton->setBounds (ScreenLayout::RightButtonBounds (w, h));
    }
}
