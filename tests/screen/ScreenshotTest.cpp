#include "ScreenFixture.h"

using screentest::ScreenFixture;

namespace
{
// Where the pictures go: NUBLA_SCREENSHOT_DIR (scripts/make-screenshots.sh points it at
// docs/), else a temporary folder.
juce::File screenshotFolder()
{
    const auto dir = juce::SystemStats::getEnvironmentVariable ("NUBLA_SCREENSHOT_DIR", {});
    if (dir.isNotEmpty())
        return juce::File (dir);
    return juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("nubla-screenshots");
}

struct Screen
{
    const char* name;
    int32_t status;
    int curKind;
    double progress;
};
} // namespace

// Renders the screens the README shows and checks each picture: the screen's size, every
// glyph inside it, the background where nothing is drawn.
TEST_F (ScreenFixture, ScreenshotsOfTheMainScreens)
{
    const Screen screens[] = {
        { "idle", STEP_IDLE, 0, 0.0 },
        { "ready", STEP_READY, 0, 0.0 },
        { "transfer", STEP_DATA, 0, 0.42 },
        { "done", STEP_DONE, 2, 1.0 },
        { "error-not-connected", ERR_NOT_CONNECTED, 0, 0.0 },
        { "error-file", ERR_FILE_SIZE, 0, 0.0 },
        { "error-removed", ERR_REMOVED, 1, 0.3 },
    };
    const auto folder = screenshotFolder();
    ASSERT_TRUE (folder.createDirectory());

    for (const auto& s : screens)
    {
        SCOPED_TRACE (s.name);
        openWindow();
        m_probe->devVersion() = "1.02";
        m_probe->fileVersion() = "1.05";
        m_probe->curKind() = s.curKind;
        m_probe->progress() = s.progress;
        showStepsUpTo (s.status);
        if (s.status == STEP_DATA)
        {
            // The bar moves toward the progress over a moment; wait until it is near 0.42.
            ASSERT_TRUE (testsupport::runUntil ([this] {
                return m_screen->createComponentSnapshot ({ 20 + 2 + 160, 46 + 10, 1, 1 }).getPixelAt (0, 0)
                       != juce::Colour (0xFFFA32C8u);
            }, 3000));
        }
        snapshot();                  // the first paint places the focus
        testsupport::runFor (50);
        const auto image = snapshot();

        ASSERT_EQ (image.getWidth(), 454);
        ASSERT_EQ (image.getHeight(), 126);
        EXPECT_EQ (image.getPixelAt (450, 3), juce::Colour (0xFFEAEAEAu));
        const auto textBounds = m_probe->glyphs().getBoundingBox (0, -1, false);
        EXPECT_TRUE (m_screen->getLocalBounds().toFloat().contains (textBounds)) << textBounds.toString();

        const auto file = folder.getChildFile (juce::String ("screen-") + s.name + ".png");
        file.deleteFile();
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.openedOk()) << file.getFullPathName();
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (image, out));
    }
}
