// The update engine's cost per exchange against nubla-devsim, next to the bare round trip
// of one 64-byte message between two processes over the same kind of socket.
//
//   bench_engine                          no device latency: host time per exchange
//   bench_engine --device_latency_ms=1    each answer 1 ms after its command: the
//                                         update's time against the device-bound time
//
// One update per process (the worker's counters live for the program run).

#include "app/DeviceProtocol.h"
#include "support/EngineHarness.h"

#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace
{
using Clock = std::chrono::steady_clock;

double g_bareRoundTripUs = 0;
double g_deviceLatencyMs = 0;

// A child process that sends back every message it receives.
void BM_BareRoundTrip (benchmark::State& state)
{
    int fds[2];
    if (::socketpair (AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0)
        return state.SkipWithError ("socketpair failed");
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::close (fds[0]);
        uint8_t message[64];
        ssize_t length;
        while ((length = ::recv (fds[1], message, sizeof message, 0)) > 0)
            ::send (fds[1], message, static_cast<size_t> (length), MSG_NOSIGNAL);
        ::_exit (0);
    }
    ::close (fds[1]);

    uint8_t message[64] = { 0xF2, 0x03 };
    const auto start = Clock::now();
    for (auto _ : state)
    {
        ::send (fds[0], message, sizeof message, MSG_NOSIGNAL);
        ::recv (fds[0], message, sizeof message, 0);
    }
    const auto elapsed = std::chrono::duration<double, std::micro> (Clock::now() - start).count();
    g_bareRoundTripUs = elapsed / static_cast<double> (state.iterations());
    state.counters["us_per_round_trip"] = g_bareRoundTripUs;

    ::close (fds[0]);
    ::waitpid (child, nullptr, 0);
}
BENCHMARK (BM_BareRoundTrip)->MinTime (1.0);

int CountOf (const std::vector<testsupport::LoggedReport>& log, uint8_t code)
{
    return static_cast<int> (std::count_if (log.begin(), log.end(), [code] (const auto& r) { return r.code == code; }));
}

// A full update (areas 0, 1 and 2, 0x1E0000 bytes), from the confirmation to the end.
void BM_FullUpdate (benchmark::State& state)
{
    using namespace devproto;
    for (auto _ : state)
    {
        testsupport::EngineHarness h;
        if (! h.writeUpdateFile() || ! h.startDevice ({ "--latency", std::to_string (g_deviceLatencyMs) })
            || ! h.connect() || ! h.start() || ! h.runUntilStatus (STEP_READY))
            return state.SkipWithError ("the update did not start");

        const auto start = Clock::now();
        h.confirm();
        if (! h.runUntilEnded (600000) || h.status() != STEP_DONE)
            return state.SkipWithError ("the update did not complete");
        const double seconds = std::chrono::duration<double> (Clock::now() - start).count();
        state.SetIterationTime (seconds);
        h.stopDevice();

        // Exchanges after the confirmation (the completion report is not one), and the
        // waits between passes that the worker makes on purpose.
        const auto log = testsupport::parseLog (h.devsim.log());
        const int exchanges = static_cast<int> (log.size()) - CountOf (log, CMD_GET_MODE)
                            - CountOf (log, CMD_GET_VERSION) - CountOf (log, CMD_COMPLETE);
        const int chunks = CountOf (log, CMD_CHUNK);
        const int polls = CountOf (log, CMD_POLL);
        const int shortPasses = 1 /* begin */ + 3 * chunks /* chunk, data, sum */ + 1 /* all areas done */
                              + CountOf (log, CMD_FINISH);
        const double waitsMs = polls * 100.0 + shortPasses * 1.0;
        const double deviceBoundMs = exchanges * g_deviceLatencyMs + waitsMs;

        state.counters["exchanges"] = exchanges;
        state.counters["prescribed_waits_ms"] = waitsMs;
        state.counters["update_s"] = seconds;
        if (g_deviceLatencyMs == 0)
        {
            const double perExchangeUs = (seconds * 1e3 - waitsMs) * 1e3 / exchanges;
            state.counters["us_per_exchange"] = perExchangeUs;
            if (g_bareRoundTripUs > 0)
                state.counters["ratio_to_bare_round_trip"] = perExchangeUs / g_bareRoundTripUs;
        }
        else
        {
            // The emulator's own answer times, as it measured them; above the nominal
            // latency when its sleeps wake late on a busy machine.
            const double answerMs = std::atof (h.devsim.summary()["answer_time_ms"].c_str());
            state.counters["device_bound_s"] = deviceBoundMs / 1e3;
            state.counters["device_answer_s"] = answerMs / 1e3;
            state.counters["host_share_pct"] = ((seconds * 1e3 - answerMs - waitsMs) / deviceBoundMs) * 100.0;
            state.counters["over_device_bound_pct"] = (seconds * 1e3 / deviceBoundMs - 1.0) * 100.0;
        }
    }
}
BENCHMARK (BM_FullUpdate)->Iterations (1)->UseManualTime()->Unit (benchmark::kSecond);
} // namespace

int main (int argc, char** argv)
{
    // Our own option first; Google Benchmark rejects what it does not know.
    int kept = 1;
    for (int i = 1; i < argc; ++i)
    {
        const char* prefix = "--device_latency_ms=";
        if (std::strncmp (argv[i], prefix, std::strlen (prefix)) == 0)
            g_deviceLatencyMs = std::atof (argv[i] + std::strlen (prefix));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;

    juce::ScopedJuceInitialiser_GUI juce;
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
