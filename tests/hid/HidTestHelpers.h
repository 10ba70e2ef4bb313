#pragma once

#include "hid/HidCtrl.h"
#include "hid/HidList.h"
#include "hid/HidPlatform.h"
#include "hid/HidUtil.h"
#include "support/MessageLoop.h"
#include "support/VirtualDevice.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <memory>
#include <string>
#include <vector>

// Records the events a HidCtrl forwards, and whether each came on the message thread.
struct RecordingHandler : HidHandler
{
    void removalCallBack() override { note(); ++removals; }
    void matchingCallBack() override { note(); ++matches; }
    void inputCallBack (int value) override { note(); ++inputs; inputArgs.push_back (value); }

    void note()
    {
        if (! juce::MessageManager::getInstance()->isThisTheMessageThread())
            offMessageThread = true;
    }

    int removals = 0;
    int matches = 0;
    int inputs = 0;
    std::vector<int> inputArgs;
    bool offMessageThread = false;
};

// A device handle with fixed properties and no system behind it.
struct FakeDevice : HidDevice
{
    explicit FakeDevice (Properties p) : HidDevice (std::move (p)) {}
    bool scheduleWithRunLoop() override { return true; }
    void unscheduleFromRunLoop() override {}
    bool setOutputReport (const uint8_t*, size_t) override { return true; }
};

using Identity = testsupport::VirtualDevice::Identity;

inline Identity target (uint32_t location, uint32_t version = 0x0102)
{
    return { 0xE47A, 0x0025, version, location };
}

// Every test gets its own virtual device folder, set before any manager exists.
class VirtualHidTest : public ::testing::Test
{
protected:
    testsupport::VirtualDevice& plug (const std::string& name, Identity identity)
    {
        devices.push_back (std::make_unique<testsupport::VirtualDevice> (folder.path(), name, identity));
        EXPECT_TRUE (devices.back()->plug()) << name;
        return *devices.back();
    }

    static std::vector<uint8_t> report (std::initializer_list<uint8_t> head, size_t size)
    {
        std::vector<uint8_t> bytes (size, 0);
        std::copy (head.begin(), head.end(), bytes.begin());
        return bytes;
    }

    testsupport::VhidFolder folder;
    std::vector<std::unique_ptr<testsupport::VirtualDevice>> devices;
};
