#include "app/MainComponent.h"

// Update file validation: placeholder until the update file lands.
uint32_t MainComponent::ParseUpdFile (const juce::File&, int32_t, uint32_t*, juce::String&) { return ERR_FILE_MISSING; }
bool MainComponent::CheckSysVer (const juce::String&) { return false; }
uint16_t MainComponent::CalcCRC (const uint8_t*, int64_t) { return 0; }
void MainComponent::CheckUpdFile() {}
void MainComponent::CheckUpdFile (const juce::File&) {}
