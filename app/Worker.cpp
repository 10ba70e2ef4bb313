#include "app/MainComponent.h"

// The update worker: placeholder until the protocol lands.
void MainComponent::run() {}
