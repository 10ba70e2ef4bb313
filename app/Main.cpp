#include "app/Application.h"

static juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new Application();
}

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
