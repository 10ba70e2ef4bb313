#include <gtest/gtest.h>

#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <dlfcn.h>

// Every test program starts JUCE's message manager, so tests can run the message loop.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    // JUCE readies Xlib for threads and installs its X error handlers only in a standalone
    // application; the window tests run from this plain main, so it counts as one.
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };
    // JUCE loads Xlib at run time and unloads it at shutdown; the memory Xlib still holds
    // would then look like leaks of an unknown module to the leak checker. Keep it loaded.
    dlopen ("libX11.so.6", RTLD_NOW | RTLD_NODELETE);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
