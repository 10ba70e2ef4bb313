#include "support/EngineHarness.h"

#include "app/DeviceProtocol.h"
#include "hid/HidCtrl.h"
#include "support/MessageLoop.h"
#include "support/TestUpdateFile.h"

#include <cstdlib>

namespace testsupport
{
EngineHarness::EngineHarness()
{
    folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("nubla-engine", "");
    vhidFolder = folder.getChildFile ("vhid");
    updFolder = folder.getChildFile ("upd");
    updFile = updFolder.getChildFile ("mvkqx5__v110.bin");
    flashFile = folder.getChildFile ("flash.bin");
    vhidFolder.createDirectory();
    updFolder.createDirectory();
    ::setenv ("NUBLA_VHID_DIR", vhidFolder.getFullPathName().toRawUTF8(), 1);
}

EngineHarness::~EngineHarness()
{
    if (component != nullptr)
    {
        component->StopWorker();
        component.reset();
    }
    devsim.stop();
    folder.deleteRecursively();
}

bool EngineHarness::writeUpdateFile (uint32_t dateWord, const juce::String& version)
{
    return writeTestUpdateFile (updFile, version, dateWord);
}

bool EngineHarness::startDevice (const std::vector<std::string>& args)
{
    auto all = args;
    all.insert (all.end(), { "--flash-out", flashFile.getFullPathName().toStdString(),
                             "--verify", updFile.getFullPathName().toStdString() });
    return devsim.start (vhidFolder, all);
}

bool EngineHarness::connect (int timeoutMs)
{
    component = std::make_unique<MainComponent>();
    return runUntil ([this] { return probe().hidCtrl()->m_deviceConnected.load() != 0; }, timeoutMs);
}

bool EngineHarness::start()
{
    component->CheckUpdFile (updFolder);
    if (probe().fileState() != FILE_STATE_VALID)
        return false;
    probe().responseEvent().reset();
    component->startThread();
    return true;
}

void EngineHarness::confirm()
{
    probe().confirmed() = true;
    probe().storeStatus (STEP_BEGIN);
}

void EngineHarness::noteStatus()
{
    if (watch)
        watch();
    const auto now = status();
    if (seen.empty() || seen.back() != now)
        seen.push_back (now);
}

bool EngineHarness::runUntilStatus (int32_t wanted, int timeoutMs)
{
    runUntil ([&] {
        noteStatus();
        return status() == wanted || ! component->isThreadRunning();
    }, timeoutMs);
    return status() == wanted;
}

bool EngineHarness::runUntilEnded (int timeoutMs)
{
    const bool ended = runUntil ([&] {
        noteStatus();
        return ! component->isThreadRunning();
    }, timeoutMs);
    noteStatus();
    return ended;
}

bool EngineHarness::runWholeUpdate (int timeoutMs)
{
    if (! start() || ! runUntilStatus (STEP_READY))
        return false;
    confirm();
    return runUntilEnded (timeoutMs);
}

std::vector<LoggedReport> parseLog (const std::vector<std::string>& lines)
{
    std::vector<LoggedReport> reports;
    for (const auto& line : lines)
    {
        LoggedReport report;
        auto tokens = juce::StringArray::fromTokens (juce::String (line), " ", "");
        if (tokens.size() > 0 && tokens[0].containsChar ('.'))
        {
            report.timeMs = tokens[0].getDoubleValue();
            tokens.remove (0);
        }
        for (const auto& token : tokens)
            report.bytes.push_back (static_cast<uint8_t> (token.getHexValue32()));
        if (report.bytes.size() >= 2)
        {
            report.target = report.bytes[0];
            report.code = report.bytes[1];
        }
        reports.push_back (std::move (report));
    }
    return reports;
}

std::vector<ChunkTraffic> chunksOf (const std::vector<LoggedReport>& reports)
{
    using namespace devproto;
    std::vector<ChunkTraffic> chunks;
    for (const auto& report : reports)
    {
        if (report.code == CMD_CHUNK)
        {
            ChunkTraffic chunk;
            chunk.target = report.target;
            chunk.address = GetLE32 (report.bytes.data() + POS_PARAM);
            chunk.length = GetLE32 (report.bytes.data() + POS_RANGE_LEN);
            chunks.push_back (chunk);
            continue;
        }
        if (chunks.empty() || report.code == CMD_FINISH || report.code == CMD_COMPLETE)
            continue;
        auto& chunk = chunks.back();
        switch (report.code)
        {
            case CMD_DATA: (chunk.lastSize < 0 ? chunk.fullDataReports : chunk.dataAfterLastSize) += 1; break;
            case CMD_LAST_SIZE: chunk.lastSize = report.bytes[POS_PARAM]; break;
            case CMD_SUM: ++chunk.sums; break;
            case CMD_POLL: ++chunk.polls; break;
            default: break;
        }
    }
    return chunks;
}
} // namespace testsupport
