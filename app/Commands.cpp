#include "app/MainComponent.h"

// Buttons and device events: placeholder until the user commands land.
void MainComponent::buttonClicked (juce::Button*) {}
void MainComponent::removalCallBack() {}
void MainComponent::matchingCallBack() {}
