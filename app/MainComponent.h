#pragma once

#include "app/BarProgress.h"
#include "app/UpdStatus.h"
#include "hid/HidHandler.h"
#include "ui/LangLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

class AlineButton;
class HidCtrl;
class ProgressLookAndFeel;

// The one central object: the screen, the update worker thread, the receiver of device
// events, and the listener of the language box and the two buttons. Its code is split
// across files by subject: MainComponent.cpp (construction and tear-down), Protocol.cpp,
// DeviceCheck.cpp, Worker.cpp, Commands.cpp, Screen*.cpp, and update/ for the update file.
class MainComponent : public juce::Component,
                      public juce::AsyncUpdater,
                      public juce::Thread,
                      public HidHandler,
                      public juce::ComboBox::Listener,
                      public juce::Button::Listener
{
public:
    MainComponent();
    ~MainComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    void run() override;
    void comboBoxChanged (juce::ComboBox*) override;
    void buttonClicked (juce::Button*) override;
    void handleAsyncUpdate() override;
    void removalCallBack() override;
    void matchingCallBack() override;
    void inputCallBack (int) override;

    // Update engine.
    bool CheckDeviceMode();
    bool CheckDeviceVersion();
    bool SendDataAndWaitResponse();

    // Update file.
    void CheckUpdFile();
    void CheckUpdFile (const juce::File& folder);
    static uint32_t ParseUpdFile (const juce::File& file, int32_t expectedSize,
                                  uint32_t* outDate, juce::String& outVersion);
    static bool CheckSysVer (const juce::String& version);
    static uint16_t CalcCRC (const uint8_t* data, int64_t length);

    // Screen.
    void UpdateDrawing();

    // The window manager asked to close the window: quits as the buttons do, except while
    // the firmware is being written, when the request is ignored.
    void WindowCloseRequested();

    // Test builds of the program watch every redraw of the screen; the shipped program
    // sets no observer.
    using DrawingObserver = void (*) (MainComponent&);
    static void SetDrawingObserver (DrawingObserver observer) noexcept;

    // Wakes a waiting exchange and stops the worker (waiting up to RESPONSE_TIMEOUT ms).
    // Every quit calls it before the screen is destroyed.
    void StopWorker();

    static constexpr int RESPONSE_TIMEOUT = 5000;
    static constexpr int REPORT_SIZE = 64;

private:
    friend struct MainComponentProbe; // tests look at the update fields
    friend class UpdateWorker;        // the steps of run (Worker.cpp)

    // User commands (Commands.cpp).
    void OkPressed();
    void CancelPressed();
    void StartUpdate();
    void SendCancel();
    void Quit();

    // Stores a status unless ERR_REMOVED is in place; returns whether it was stored.
    bool StoreStatus (int32_t status) noexcept { return m_updStatus.store (status); }
    void RequestRedraw();

    // Screen helpers (Screen.cpp, ScreenContent.cpp).
    void CreateScreen();
    bool UpdateText (int32_t status, const juce::String& typeface);
    void UpdateControls (int32_t status, const juce::String& typeface);
    void PlaceButtons();
    void PlaceFocus (int32_t status);

    // Clears the command buffer and fills one command: target, code, then count parameter
    // bytes from byte 2 on.
    void FillCommand (uint8_t target, uint8_t code, const uint8_t* params = nullptr, int count = 0);
    // One exchange of m_cmdBuf: the answer, or nothing once ERR_NO_RESPONSE was stored.
    std::optional<std::array<uint8_t, REPORT_SIZE>> Exchange();
    // A copy of the last answer the device sent.
    std::array<uint8_t, REPORT_SIZE> Response() const;
    // Stores ERR_PROTOCOL for an answer with a wrong echo or a refusal with reason 5.
    void CheckAnswer (uint8_t sentTarget);

    // Screen members.
    juce::GlyphArrangement m_glyphs;
    juce::String m_glyphsSource; // what m_glyphs was last built from
    LangLookAndFeel m_langLookAndFeel;
    std::unique_ptr<juce::ComboBox> m_pLangBox;
    std::unique_ptr<ProgressLookAndFeel> m_pProgressLookAndFeel;
    std::atomic<double> m_progress { 0.0 };
    BarProgress m_barProgress { m_progress }; // the bar's message-thread copy of m_progress
    std::unique_ptr<juce::ProgressBar> m_pProgressBar;
    std::unique_ptr<AlineButton> m_pOkButton;
    std::unique_ptr<AlineButton> m_pCancelButton;

    // Update fields.
    juce::CriticalSection m_drawLock;
    juce::WaitableEvent m_responseEvent { false };
    UpdKindInfo m_updKindInfo[3];
    int64_t m_totalSize = 0;
    StatusWord m_updStatus;
    int32_t m_fileState = 0;
    uint32_t m_fileDate = 0;
    uint32_t m_devDate = 0;
    juce::String m_fileVersion;
    juce::String m_devVersion;
    std::atomic<int32_t> m_chunkSum { 0 };
    std::unique_ptr<HidCtrl> m_pHidCtrl;
    uint8_t m_cmdBuf[REPORT_SIZE] {};
    uint8_t m_rspBuf[REPORT_SIZE] {};
    // The worker and the Cancel press both fill m_cmdBuf; inputCallBack writes m_rspBuf on
    // the message thread while the worker reads it.
    juce::CriticalSection m_cmdLock;
    mutable juce::CriticalSection m_rspLock;
    std::atomic<int32_t> m_curKind { 0 };
    std::atomic<bool> m_area0Begun { false };
    std::atomic<bool> m_confirmed { false };
    std::atomic<int32_t> m_finished { 0 };
    bool m_slowHost = false;
    static std::atomic<DrawingObserver> s_drawingObserver;
    bool m_quitting = false; // a quit was asked for; later presses are ignored (message thread)

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
