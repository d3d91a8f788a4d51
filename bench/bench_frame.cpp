// Whole frames of each scene (do_frame without presenting) against the memory floor, in one loop.
//
// A frame's unavoidable work is one clear of the frame and one copy of the
// scene's picture, so the floor is memset of the 1.2 MB frame plus memcpy of
// the picture's bytes into it. One iteration draws the scene at 16 moments
// spread over its second (the mesh turns, so the work differs from moment to
// moment), each frame timed on its own and each followed by the floor's
// memset and memcpy, timed on their own. Reported time is the mean frame.
// The ratio uses fastest times, which other processes on a busy machine can
// only slow down: the mean over the 16 moments of each moment's fastest frame
// against the fastest memset plus the fastest memcpy. Counters:
//   frame_us            mean of the moments' fastest frames, microseconds
//   memset_us, copy_us  the floor's two parts, fastest, microseconds
//   x_floor             frame_us / (memset_us + copy_us); the target is 1.5
#include "bench/bench_support.h"
#include "bench/frame_scene.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <string>

namespace {

constexpr unsigned poses = 16;
constexpr std::size_t frame_bytes = 640 * 480 * 4;

using bench::timed;

void frame_of_scene(benchmark::State &state, const frame_scene::scene &sc) {
    const frame_scene::show &show = frame_scene::open_show();
    if (!show.error.empty()) {
        state.SkipWithError(show.error.c_str());
        return;
    }
    demo::pic_s pic = frame_scene::picture(sc.picture);
    const std::size_t picture_bytes = std::size_t(pic.width) * pic.height * 4;

    std::array<double, poses> best_frame;
    best_frame.fill(1e9);
    double best_memset = 1e9, best_copy = 1e9;
    bool over = false;
    for (auto _ : state) {
        double total = 0;
        for (unsigned k = 0; k < poses; ++k) {
            frame_scene::pin(sc.second, k, poses);
            double t = timed([&] { over |= demo::do_frame() != 0; });
            best_frame[k] = std::min(best_frame[k], t);
            total += t;
            best_memset =
                std::min(best_memset, timed([] { std::memset(demo::frame, 0, frame_bytes); }));
            if (picture_bytes)
                best_copy = std::min(
                    best_copy, timed([&] { std::memcpy(demo::frame, pic.pixels, picture_bytes); }));
        }
        state.SetIterationTime(total / poses);
    }
    frame_scene::unpin();
    std::free(pic.pixels);
    if (over) {
        state.SkipWithError("do_frame ended the show inside a scene");
        return;
    }

    double frame = 0;
    for (double t : best_frame)
        frame += t / poses;
    if (!picture_bytes)
        best_copy = 0;
    state.counters["frame_us"] = frame * 1e6;
    state.counters["memset_us"] = best_memset * 1e6;
    state.counters["copy_us"] = best_copy * 1e6;
    state.counters["x_floor"] = frame / (best_memset + best_copy);
}

int register_frame_benchmarks() {
    for (const frame_scene::scene &sc : frame_scene::scenes()) {
        std::string name = "frame/" + std::to_string(sc.second) + "_" + sc.name;
        benchmark::RegisterBenchmark(name.c_str(),
                                     [&sc](benchmark::State &s) { frame_of_scene(s, sc); })
            ->UseManualTime()
            ->Iterations(128)
            ->Unit(benchmark::kMicrosecond);
    }
    return 0;
}

const int registered = register_frame_benchmarks();

} // namespace
