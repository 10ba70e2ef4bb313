#pragma once

#include <juce_core/juce_core.h>

#include <cstdlib>

namespace testsupport
{
// A fresh folder of its own (mkdtemp, so parallel test processes never share one),
// removed with everything in it when the object goes.
class TempFolder
{
public:
    TempFolder()
    {
        char name[] = "/tmp/nubla-test-XXXXXX";
        if (::mkdtemp (name) != nullptr)
            m_folder = juce::File (name);
    }
    ~TempFolder() { m_folder.deleteRecursively(); }
    TempFolder (const TempFolder&) = delete;
    TempFolder& operator= (const TempFolder&) = delete;

    const juce::File& file() const { return m_folder; }
    juce::File child (const juce::String& name) const { return m_folder.getChildFile (name); }
    std::string path() const { return m_folder.getFullPathName().toStdString(); }

private:
    juce::File m_folder;
};
} // namespace testsupport
