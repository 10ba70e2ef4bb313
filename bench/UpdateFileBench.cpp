// Validation of a valid update file end to end (open, size, read, checks, checksum), and
// the checksum alone.

#include "app/MainComponent.h"
#include "update/UpdateFile.h"
#include "update/UpdateImage.h"

#include <benchmark/benchmark.h>

#include <random>

namespace
{
UpdImageSpec RandomSpec()
{
    UpdImageSpec spec;
    spec.version = "1.05";
    spec.dateWord = 0x20170530;
    spec.payload.setSize (static_cast<size_t> (UPD_AREAS_END));
    std::mt19937 random (1);
    auto* bytes = static_cast<uint8_t*> (spec.payload.getData());
    for (size_t i = 0; i < spec.payload.getSize(); ++i)
        bytes[i] = static_cast<uint8_t> (random());
    return spec;
}

void BM_ParseValidFile (benchmark::State& state)
{
    const auto file = juce::File::createTempFile (".bin");
    if (MakeUpdFile (file, RandomSpec()).failed())
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
    const auto image = BuildUpdImage (RandomSpec());
    const auto* bytes = static_cast<const uint8_t*> (image.getData());
    for (auto _ : state)
        benchmark::DoNotOptimize (MainComponent::CalcCRC (bytes, UPD_FILE_SIZE - 2));
    state.SetBytesProcessed (state.iterations() * (UPD_FILE_SIZE - 2));
}
BENCHMARK (BM_CalcCRC)->Unit (benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
