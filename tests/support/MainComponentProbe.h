#pragma once

#include "app/MainComponent.h"
#include "hid/HidCtrl.h"
#include "ui/AlineButton.h"

// Gives tests access to MainComponent's fields.
struct MainComponentProbe
{
    explicit MainComponentProbe (MainComponent& c) : mc (c) {}

    StatusWord& status() { return mc.m_updStatus; }
    bool storeStatus (int32_t s) { return mc.StoreStatus (s); }
    std::atomic<double>& progress() { return mc.m_progress; }
    UpdKindInfo& kind (int i) { return mc.m_updKindInfo[i]; }
    int64_t& totalSize() { return mc.m_totalSize; }
    int32_t& fileState() { return mc.m_fileState; }
    uint32_t& fileDate() { return mc.m_fileDate; }
    uint32_t& devDate() { return mc.m_devDate; }
    juce::String& fileVersion() { return mc.m_fileVersion; }
    juce::String& devVersion() { return mc.m_devVersion; }
    std::atomic<int32_t>& chunkSum() { return mc.m_chunkSum; }
    HidCtrl* hidCtrl() { return mc.m_pHidCtrl.get(); }
    uint8_t* cmdBuf() { return mc.m_cmdBuf; }
    uint8_t* rspBuf() { return mc.m_rspBuf; }
    std::atomic<int32_t>& curKind() { return mc.m_curKind; }
    std::atomic<bool>& area0Begun() { return mc.m_area0Begun; }
    std::atomic<bool>& confirmed() { return mc.m_confirmed; }
    std::atomic<int32_t>& finished() { return mc.m_finished; }
    bool slowHost() { return mc.m_slowHost; }
    bool quitting() { return mc.m_quitting; }
    juce::WaitableEvent& responseEvent() { return mc.m_responseEvent; }
    juce::GlyphArrangement& glyphs() { return mc.m_glyphs; }
    juce::ComboBox* langBox() { return mc.m_pLangBox.get(); }
    juce::ProgressBar* progressBar() { return mc.m_pProgressBar.get(); }
    AlineButton* okButton() { return mc.m_pOkButton.get(); }
    AlineButton* cancelButton() { return mc.m_pCancelButton.get(); }
    double barValue() { return mc.m_barProgress.value(); }
    void requestRedraw() { mc.RequestRedraw(); }

    MainComponent& mc;
};
