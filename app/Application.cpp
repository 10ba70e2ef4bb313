#include "app/Application.h"

void Application::initialise (const juce::String&)
{
    m_initialised = true;
    m_pInstanceChannel = std::make_unique<InstanceChannel> (getApplicationName(),
                                                            [this] { anotherInstanceStarted ({}); });
    m_pMainWindow = std::make_unique<MainWindow>();
}

void Application::shutdown()
{
    // JUCE shuts down without initialising only in a second start, which hands over to
    // the running instance and ends.
    if (! m_initialised)
        InstanceChannel::notifyRunningInstance (getApplicationName());

    m_pInstanceChannel.reset();
    m_pMainWindow.reset();
}

void Application::anotherInstanceStarted (const juce::String&)
{
    if (m_pMainWindow != nullptr && m_pMainWindow->isVisible())
        m_pMainWindow->toFront (true);
}
