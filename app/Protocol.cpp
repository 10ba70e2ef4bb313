#include "app/MainComponent.h"

// Exchange with the device: placeholder until the command protocol lands.
bool MainComponent::SendDataAndWaitResponse() { return false; }
void MainComponent::inputCallBack (int) {}
