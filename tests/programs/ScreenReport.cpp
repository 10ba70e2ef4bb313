// The test build of the program: the program itself, plus a report of every redraw of its
// screen, one line appended to the file named by NUBLA_SCREEN_REPORT, so tests that drive
// the real program can see what it shows.
#include "support/MainComponentProbe.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace
{
juce::String escaped (const juce::String& text)
{
    return text.replace ("\\", "\\\\").replace ("\n", "\\n").replace ("\t", "\\t");
}

juce::String describe (juce::Component* c)
{
    if (c == nullptr)
        return "0";
    const auto b = c->getBounds();
    const auto* button = dynamic_cast<juce::Button*> (c);
    return juce::String (c->isVisible() ? 1 : 0) + ":" + (button != nullptr ? button->getButtonText() : juce::String())
           + ":" + juce::String (b.getX()) + "," + juce::String (b.getY()) + "," + juce::String (b.getWidth())
           + "," + juce::String (b.getHeight()) + ":" + juce::String (c->hasKeyboardFocus (false) ? 1 : 0);
}

void report (MainComponent& screen)
{
    const char* path = std::getenv ("NUBLA_SCREEN_REPORT");
    if (path == nullptr || *path == '\0')
        return;

    MainComponentProbe probe (screen);
    juce::String text;
    auto& glyphs = probe.glyphs();
    for (int i = 0; i < glyphs.getNumGlyphs(); ++i)
        text += glyphs.getGlyph (i).getCharacter();

    const auto* window = screen.getParentComponent();
    const juce::String line = "status=" + juce::String::toHexString (probe.status().load())
                              + " ok=" + describe (probe.okButton())
                              + " cancel=" + describe (probe.cancelButton())
                              + " bar=" + describe (probe.progressBar())
                              + " progress=" + juce::String (probe.progress().load(), 4)
                              + " title=" + escaped (window != nullptr ? window->getName() : juce::String())
                              + " text=" + escaped (text) + "\n";
    if (FILE* f = std::fopen (path, "a"))
    {
        std::fputs (line.toRawUTF8(), f);
        std::fclose (f);
    }
}

const bool installed = [] {
    MainComponent::SetDrawingObserver (&report);
    // JUCE loads Xlib at run time and unloads it at shutdown; under the leak checker the
    // memory Xlib still holds would then look like leaks of an unknown module.
    dlopen ("libX11.so.6", RTLD_NOW | RTLD_NODELETE);
    return true;
}();
} // namespace
