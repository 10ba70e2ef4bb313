#include "app/MainComponent.h"

// Device mode and version check: placeholder until the protocol lands.
bool MainComponent::CheckDeviceMode() { return false; }
bool MainComponent::CheckDeviceVersion() { return false; }
