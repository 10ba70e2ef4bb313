// Validation of a valid update file end to end (open, size, read, checks, checksum), and
// the checksum alone.

#include "app/MainComponent.h"
#include "update/UpdateFile.h"
#include "update/UpdateImage.h"

#include <benchmark/benchmark.h>

#include <random>

namespace
{
UpdImageParams RandomParams()
{
    UpdImageParams params;
    params.version = "1.05";
    params.dateWord = 0x20170530;
    params.payload.setSize (static_cast<size_t> (UPD_AREAS_END));
    std::mt19937 random (1);
    auto* bytes = static_cast<uint8_t*> (params.payload.getData());
    for (size_t i = 0; i < params.payload.getSize(); ++i)
        bytes[i] = static_cast<uint8_t> (random());
    return params;
}

void BM_ParseValidFile (benchmark::State& state)
{
    const auto file = juce::File::createTempFile (".bin");
    if (MakeUpdFile (file, RandomParams()).failed())
    {
        state.SkipWithError ("cannot write the update file");
        return;
    }
    for (auto _ : state)
    {
        uint32_t date = 0;
        juce::String version;
        const auto result = MainComponent::ParseUpdFile (file, UPD_FILE_SIZE, &date, version);
        if (result != KIND_VALID)
            state.SkipWithError ("the file did not validate");
        benchmark::DoNotOptimize (result);
    }
    state.SetBytesProcessed (state.iterations() * UPD_FILE_SIZE);
    file.deleteFile();
}
BENCHMARK (BM_ParseValidFile)->Unit (benchmark::kMillisecond);

void BM_CalcCRC (benchmark::State& state)
{
    const auto image = BuildUpdImage (RandomParams());
    const auto* bytes = static_cast<const uint8_t*> (image.getData());
    for (auto _ : state)
        benchmark::DoNotOptimize (MainComponent::CalcCRC (bytes, UPD_FILE_SIZE - 2));
    state.SetBytesProcessed (state.iterations() * (UPD_FILE_SIZE - 2));
}
BENCHMARK (BM_CalcCRC)->Unit (benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
