#pragma once

#include "app/MainComponent.h"
#include "support/DevSim.h"
#include "support/MainComponentProbe.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport
{
// Drives the update engine without the screen against nubla-devsim: a temporary folder
// with the virtual devices and the update file, the emulator, and a MainComponent whose
// steps are taken as the buttons would take them. One update per test process.
class EngineHarness
{
public:
    static constexpr uint32_t FILE_DATE = 0x20230115;
    static constexpr const char* FILE_DATE_TEXT = "20230115";

    EngineHarness();
    ~EngineHarness();

    // Writes a valid update file with pseudo-random areas into the update folder.
    bool writeUpdateFile (uint32_t dateWord = FILE_DATE, const juce::String& version = "1.10");
    // Starts nubla-devsim (it writes its flash and verifies it against the update file).
    bool startDevice (const std::vector<std::string>& args);
    // Makes the MainComponent and runs the message loop until the device is connected.
    bool connect (int timeoutMs = 5000);
    // As the first OK press: checks the update file, resets the response event and
    // starts the worker. False when the file check failed.
    bool start();
    // As the confirming OK press at STEP_READY.
    void confirm();

    // Runs the message loop until the status is status (false on time-out or when the
    // worker ended first).
    bool runUntilStatus (int32_t status, int timeoutMs = 10000);
    // Runs the message loop until the worker ended; false on time-out.
    bool runUntilEnded (int timeoutMs = 60000);
    // Runs an update to its end: start, wait for STEP_READY, confirm, wait for the end.
    // The statuses seen on the way are kept in seen.
    bool runWholeUpdate (int timeoutMs = 60000);

    // Shrinks area 1 to size bytes at STEP_READY, so an update stays short: with equal
    // dates it is then area 1 (size bytes) and area 2 (0x1000 bytes).
    void shrinkArea1 (int64_t size) { probe().kind (1).size = size; }

    // Ends the emulator and returns its exit status; its log and summary are then complete.
    int stopDevice() { return devsim.stop(); }

    MainComponentProbe probe() { return MainComponentProbe (*component); }
    int32_t status() { return probe().status().load(); }

    juce::File folder, vhidFolder, updFolder, updFile, flashFile;
    DevSim devsim;
    std::unique_ptr<MainComponent> component;
    std::vector<int32_t> seen; // every distinct status seen while the loop ran, in order
    std::function<void()> watch; // called at every turn of the message loop, if set

private:
    void noteStatus();
};

// One command of a devsim log line: "F2 02 00 ..." gives target 0xF2, code 0x02.
struct LoggedReport
{
    uint8_t target = 0;
    uint8_t code = 0;
    std::vector<uint8_t> bytes;
    double timeMs = -1; // with --log-times
};

std::vector<LoggedReport> parseLog (const std::vector<std::string>& lines);

// The reports of one chunk: its CMD_CHUNK, then what followed up to the next CMD_CHUNK
// or CMD_FINISH.
struct ChunkTraffic
{
    uint8_t target = 0;
    uint32_t address = 0;
    uint32_t length = 0;
    int fullDataReports = 0; // CMD_DATA before the CMD_LAST_SIZE
    int lastSize = -1;       // byte 2 of the CMD_LAST_SIZE, -1 when none came
    int dataAfterLastSize = 0;
    int sums = 0;
    int polls = 0;
};

std::vector<ChunkTraffic> chunksOf (const std::vector<LoggedReport>& reports);
} // namespace testsupport
