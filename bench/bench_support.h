// Pieces the benchmarks share: one frame for the whole run and a timer for interleaved ratios.
#pragma once

#include "demo/demo.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace bench {

// Points the frame globals at a 640 x 480 frame allocated the way gfxinit
// allocates it and kept for the whole run. Every benchmark that draws calls
// this first, since others in the same binary install frames of their own.
inline void install_frame() {
    static unsigned *pixels = new unsigned[demo::frame_pixels]();
    static unsigned **lines = [] {
        unsigned **l = new unsigned *[demo::frame_height];
        demo::build_frame_lines(pixels, demo::frame_height, demo::frame_pitch, l);
        return l;
    }();
    demo::frame = pixels;
    demo::frame_lines = lines;
}

// Times one call of f, in seconds.
template <typename F> double timed(F &&f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    benchmark::ClobberMemory();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace bench
