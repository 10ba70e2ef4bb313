#include "app/MainComponent.h"

// The screen: placeholder until the screen lands.
void MainComponent::paint (juce::Graphics& g) { g.fillAll (juce::Colour (0xFFEAEAEAu)); }
void MainComponent::resized() {}
void MainComponent::comboBoxChanged (juce::ComboBox*) {}
void MainComponent::handleAsyncUpdate() { const juce::ScopedLock lock (m_drawLock); UpdateDrawing(); }
void MainComponent::UpdateDrawing() {}
