// Frame clear against memset of the same 1.2 MB, interleaved in one loop.
//
// Each iteration clears the frame with demo::clear, then memsets it, each
// timed on its own; the ratio uses each one's fastest iteration, which other
// processes on a busy machine can only slow down. Counters:
//   best_us, memset_us  the fastest clear and memset, microseconds
//   x_memset            clear's time / memset's (1: as fast as memset)
// memset can only repeat a byte, so for a value such as 0x123456 it writes
// zeros: it stands for the store bandwidth, not for the same result.
#include "bench/bench_support.h"
#include "demo/demo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr std::size_t frame_bytes = 640 * 480 * 4;

using bench::install_frame;
using bench::timed;

void BM_clear_vs_memset(benchmark::State &state) {
    install_frame();
    const unsigned value = static_cast<unsigned>(state.range(0));
    double best_clear = 1e9, best_memset = 1e9;
    for (auto _ : state) {
        double t = timed([&] { demo::clear(value); });
        state.SetIterationTime(t);
        best_clear = std::min(best_clear, t);
        best_memset =
            std::min(best_memset, timed([] { std::memset(demo::frame, 0, frame_bytes); }));
    }
    demo::clear(value);
    if (demo::frame[0] != value || demo::frame[640 * 480 - 1] != value)
        state.SkipWithError("clear left other pixels");
    state.counters["best_us"] = best_clear * 1e6;
    state.counters["memset_us"] = best_memset * 1e6;
    state.counters["x_memset"] = best_clear / best_memset;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * frame_bytes);
}
BENCHMARK(BM_clear_vs_memset)
    ->Arg(0)
    ->Arg(0x123456)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace
