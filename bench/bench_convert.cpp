// Converter benchmarks: a 640x480 frame through each converter, interleaved with pixman and memcpy.
//
// Each iteration converts the frame with the converter under test, then has
// pixman do the same conversion (PIXMAN_OP_SRC from x8r8g8b8 into the same
// format and the same destination), then memcpy the output's byte count, and
// for a vector kernel set its scalar twin too, each timed on its own.
// Interleaving keeps them under the same load and cache state, and the
// ratios use each one's fastest iteration, which other processes on a busy
// machine can only slow down, never speed up. Reported time is the
// converter's mean; the counters are:
//   best_us, pixman_us, memcpy_us  the fastest frame of each, microseconds
//   x_pixman  pixman's time / the converter's (above 1: faster than pixman)
//   x_memcpy  the converter's time / memcpy's (1: as fast as a plain copy)
//   scalar_us, x_scalar  (vector sets) the scalar twin's fastest frame, and
//             its time / the converter's (above 1: faster than scalar)
// The MMX set is measured wherever it is built, though the converters choose
// it only on CPUs without SSE2.
#include "bench/bench_support.h"
#include "ptc/convert.h"
#include "ptc/convert_rows.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr int width = 640, height = 480;

struct format {
    const char *name;
    pixman_format_code_t pixman;
    int bytes; // per display pixel
    ptc_converter_t converter;
    ptc_rows::row_kernel_t ptc_rows::kernel_set::*kernel; // null: the byte copy
};

const format formats[] = {
    {"rgb565", PIXMAN_r5g6b5, 2, ptc_convert_32_to_16_rgb565, &ptc_rows::kernel_set::to_16_rgb565},
    {"bgr565", PIXMAN_b5g6r5, 2, ptc_convert_32_to_16_bgr565, &ptc_rows::kernel_set::to_16_bgr565},
    {"rgb555", PIXMAN_x1r5g5b5, 2, ptc_convert_32_to_16_rgb555,
     &ptc_rows::kernel_set::to_16_rgb555},
    {"bgr555", PIXMAN_x1b5g5r5, 2, ptc_convert_32_to_16_bgr555,
     &ptc_rows::kernel_set::to_16_bgr555},
    {"24_rgb888", PIXMAN_r8g8b8, 3, ptc_convert_32_to_24_rgb888,
     &ptc_rows::kernel_set::to_24_rgb888},
    {"24_bgr888", PIXMAN_b8g8r8, 3, ptc_convert_32_to_24_bgr888,
     &ptc_rows::kernel_set::to_24_bgr888},
    {"32_rgb888", PIXMAN_x8r8g8b8, 4, ptc_convert_32_to_32_rgb888, nullptr},
    {"32_bgr888", PIXMAN_x8b8g8r8, 4, ptc_convert_32_to_32_bgr888,
     &ptc_rows::kernel_set::to_32_bgr888},
};

// The frame and a destination large enough for any format, allocated once.
struct buffers {
    std::uint32_t *frame;
    unsigned char *out;
    buffers() {
        frame = static_cast<std::uint32_t *>(std::aligned_alloc(64, width * height * 4));
        out = static_cast<unsigned char *>(std::aligned_alloc(64, width * height * 4));
        std::mt19937 random(1);
        for (int i = 0; i < width * height; ++i)
            frame[i] = static_cast<std::uint32_t>(random()) & 0x00FFFFFF;
        std::memset(out, 0, width * height * 4);
    }
};

buffers &frame_buffers() {
    static buffers b;
    return b;
}

using bench::timed;

// set: null for the public converter (the kernels chosen for this CPU).
void convert_frame(benchmark::State &state, const format &f, const ptc_rows::kernel_set *set) {
    buffers &b = frame_buffers();
    const int out_stride = width * f.bytes;
    pixman_image_t *source =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, b.frame, width * 4);
    pixman_image_t *destination = pixman_image_create_bits(
        f.pixman, width, height, reinterpret_cast<std::uint32_t *>(b.out), out_stride);

    auto frame_through = [&](const ptc_rows::kernel_set *kernels) {
        for (int y = 0; y < height; ++y) {
            std::uint32_t *row = b.frame + y * width;
            unsigned char *out = b.out + y * out_stride;
            if (!kernels)
                f.converter(row, out, width);
            else if (f.kernel)
                (kernels->*f.kernel)(out, row, width);
            else
                kernels->copy(out, row, width * 4);
        }
    };
    auto ours = [&] { frame_through(set); };
    const ptc_rows::kernel_set *twin = &ptc_rows::scalar_kernels();
    const bool vector_set = set && set != twin;
    auto scalar = [&] { frame_through(twin); };
    auto theirs = [&] {
        pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, destination, 0, 0, 0, 0, 0, 0,
                                 width, height);
    };
    auto copy = [&] { std::memcpy(b.out, b.frame, std::size_t(width) * height * f.bytes); };

    // Both must write the same bits, or the comparison means nothing.
    theirs();
    std::string pixman_bits(reinterpret_cast<char *>(b.out), std::size_t(out_stride) * height);
    ours();
    if (std::memcmp(pixman_bits.data(), b.out, pixman_bits.size()) != 0) {
        state.SkipWithError("the converter and pixman disagree");
    }

    double best_ours = 1e9, best_pixman = 1e9, best_memcpy = 1e9, best_scalar = 1e9;
    for (auto _ : state) {
        double t = timed(ours);
        state.SetIterationTime(t);
        best_ours = std::min(best_ours, t);
        best_pixman = std::min(best_pixman, timed(theirs));
        best_memcpy = std::min(best_memcpy, timed(copy));
        if (vector_set)
            best_scalar = std::min(best_scalar, timed(scalar));
    }
    pixman_image_unref(destination);
    pixman_image_unref(source);

    state.counters["best_us"] = best_ours * 1e6;
    state.counters["pixman_us"] = best_pixman * 1e6;
    state.counters["memcpy_us"] = best_memcpy * 1e6;
    state.counters["x_pixman"] = best_pixman / best_ours;
    state.counters["x_memcpy"] = best_ours / best_memcpy;
    if (vector_set) {
        state.counters["scalar_us"] = best_scalar * 1e6;
        state.counters["x_scalar"] = best_scalar / best_ours;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width * height * 4);
}

int register_convert_benchmarks() {
    for (const format &f : formats) {
        auto add = [&](const std::string &impl, const ptc_rows::kernel_set *set) {
            benchmark::RegisterBenchmark(
                ("convert/" + std::string(f.name) + "/" + impl).c_str(),
                [&f, set](benchmark::State &s) { convert_frame(s, f, set); })
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
        };
        add("vorbo", nullptr);
        add("scalar", &ptc_rows::scalar_kernels());
        if (const ptc_rows::kernel_set *s = ptc_rows::mmx_kernels())
            add("mmx", s);
        if (const ptc_rows::kernel_set *s = ptc_rows::sse2_kernels())
            add("sse2", s);
        if (const ptc_rows::kernel_set *s = ptc_rows::avx2_kernels())
            add("avx2", s);
    }
    return 0;
}

const int registered = register_convert_benchmarks();

} // namespace
