#include "hid/HidCtrl.h"

HidCtrl::~HidCtrl() { finalize(); }
bool HidCtrl::initialize (HidHandler* handler, int) { m_pHandler = handler; return false; }
void HidCtrl::finalize() { m_pHandler = nullptr; }
bool HidCtrl::sendData (unsigned char*, unsigned long) { return false; }
void HidCtrl::removalCallBack() {}
void HidCtrl::matchingCallBack() {}
void HidCtrl::inputCallBack (int) {}
