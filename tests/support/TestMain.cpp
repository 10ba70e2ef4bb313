#include <gtest/gtest.h>

#include <juce_events/juce_events.h>

// Every test program starts JUCE's message manager, so tests can run the message loop.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
