// Converting and scaling one frame for a large screen, against memcpy of the output bytes.
//
// What the desktop presenter does per update: the 640 x 480 frame through the
// display's converter and widened k times, into an image of 640k x 480k
// display pixels. The floor is one memcpy of those output bytes (from a
// buffer of the same size), timed in the same loop. Counters:
//   best_us, memcpy_us  fastest scale and fastest copy, microseconds
//   x_memcpy            best_us / memcpy_us; the target is 1.3
#include "bench/bench_support.h"
#include "ptc/scale.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int width = 640, height = 480;

struct screen {
    const char *name;
    int k; // the largest whole scale that fits it
};
const screen screens[] = {{"1920x1080", 2}, {"3840x2160", 4}};

struct output {
    const char *name;
    int bytes;
    ptc_converter_t converter;
};
const output outputs[] = {{"16", 2, ptc_convert_32_to_16_rgb565},
                          {"24", 3, ptc_convert_32_to_24_rgb888},
                          {"32", 4, ptc_convert_32_to_32_rgb888}};

void scale_frame(benchmark::State &state, const screen &s, const output &o, ptc_widener_t widen) {
    std::vector<std::uint32_t> frame(width * height);
    std::mt19937 random(1);
    for (std::uint32_t &p : frame)
        p = static_cast<std::uint32_t>(random()) & 0x00FFFFFF;
    const std::ptrdiff_t pitch = std::ptrdiff_t(width) * s.k * o.bytes;
    const std::size_t bytes = std::size_t(pitch) * height * s.k;
    char *image = static_cast<char *>(std::aligned_alloc(64, bytes));
    char *copy_source = static_cast<char *>(std::aligned_alloc(64, bytes));
    std::memset(image, 0, bytes);
    std::memset(copy_source, 1, bytes);
    std::vector<unsigned char> row(std::size_t(width) * o.bytes);

    auto ours = [&] {
        ptc_convert_scaled(frame.data(), width, height, s.k, o.converter, widen, o.bytes,
                           row.data(), image, pitch);
    };
    auto copy = [&] { std::memcpy(image, copy_source, bytes); };

    double best = 1e9, best_memcpy = 1e9;
    for (auto _ : state) {
        double t = bench::timed(ours);
        state.SetIterationTime(t);
        best = std::min(best, t);
        best_memcpy = std::min(best_memcpy, bench::timed(copy));
    }
    std::free(copy_source);
    std::free(image);
    state.counters["best_us"] = best * 1e6;
    state.counters["memcpy_us"] = best_memcpy * 1e6;
    state.counters["x_memcpy"] = best / best_memcpy;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
}

int register_scale_benchmarks() {
    for (const screen &s : screens)
        for (const output &o : outputs) {
            auto add = [&](const char *impl, ptc_widener_t widen) {
                if (!widen)
                    return;
                const std::string name =
                    std::string("scale/") + s.name + "/" + o.name + "bpp/" + impl;
                benchmark::RegisterBenchmark(
                    name.c_str(),
                    [&s, &o, widen](benchmark::State &st) { scale_frame(st, s, o, widen); })
                    ->UseManualTime()
                    ->Unit(benchmark::kMicrosecond);
            };
            add("vorbo", ptc_request_widener(o.bytes));
            add("scalar", ptc_rows::scalar_widener(o.bytes));
        }
    return 0;
}

const int registered = register_scale_benchmarks();

} // namespace
