#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <cstdint>

// The update status word: a step number while an update runs normally, an error ID once
// something failed. Every error ID lies in ERR_FILE_MISSING..ERR_PROTOCOL.
enum UpdStatus : int32_t
{
    STEP_IDLE   = 0,
    STEP_READY  = 1,
    STEP_BEGIN  = 2,
    STEP_AREA   = 3,
    STEP_DATA   = 4,
    STEP_SUM    = 5,
    STEP_POLL   = 6,
    STEP_FINISH = 7,
    STEP_DONE   = 8,

    ERR_FILE_MISSING  = 0xE01,
    ERR_FILE_READ     = 0xE02,
    ERR_FILE_SIZE     = 0xE03,
    ERR_FILE_VERSION  = 0xE04,
    ERR_FILE_CRC      = 0xE05,
    ERR_DEV_VERSION   = 0xE11,
    ERR_NOT_CONNECTED = 0xE21,
    ERR_DEV_NG1       = 0xE31,
    ERR_STREAM        = 0xE32,
    ERR_DEV_NG2       = 0xE33,
    ERR_DEV_NG3       = 0xE34,
    ERR_DEV_NG4       = 0xE35,
    ERR_NO_RESPONSE   = 0xE36,
    ERR_REMOVED       = 0xE37,
    ERR_PROTOCOL      = 0xE41,
};

// Status of one update area.
enum : int32_t
{
    KIND_NONE  = 0,
    KIND_VALID = 1,
    KIND_WRITE = 2,
    KIND_SAME  = 3,
};

constexpr int32_t FILE_STATE_VALID = 8;

// True for every error ID, 0xE01 to 0xE41 inclusive.
constexpr bool IsErrorStatus (int32_t status) noexcept
{
    return static_cast<uint32_t> (status) - static_cast<uint32_t> (ERR_FILE_MISSING)
               <= static_cast<uint32_t> (ERR_PROTOCOL - ERR_FILE_MISSING);
}

// The status word shared by the message thread and the worker. ERR_REMOVED is final:
// a store never replaces it, and the test and the store are one atomic step.
class StatusWord
{
public:
    int32_t load() const noexcept { return m_value.load(); }
    operator int32_t() const noexcept { return load(); }

    // Stores value unless ERR_REMOVED is in place; returns whether it was stored.
    bool store (int32_t value) noexcept
    {
        auto current = m_value.load();
        while (current != ERR_REMOVED)
            if (m_value.compare_exchange_weak (current, value))
                return true;
        return false;
    }

private:
    std::atomic<int32_t> m_value { STEP_IDLE };
};

// One update area of the update file. status and size change during the device check
// on the worker while the screen reads them, so they are atomic; the rest is written
// on the message thread before the worker starts.
struct UpdKindInfo
{
    juce::File file;
    std::atomic<int64_t> size { 0 };
    int64_t offset = 0;
    int64_t address = 0;
    std::atomic<int32_t> status { KIND_NONE };
    uint8_t target = 0;
};
