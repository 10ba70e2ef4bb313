#pragma once

// Receiver of the target device's events. Every call arrives on the message thread.
class HidHandler
{
public:
    virtual ~HidHandler() = default;
    // The target device was removed.
    virtual void removalCallBack() = 0;
    // The target device was plugged in while the program runs.
    virtual void matchingCallBack() = 0;
    // An input report arrived; the argument is always 0.
    virtual void inputCallBack (int) = 0;
};
