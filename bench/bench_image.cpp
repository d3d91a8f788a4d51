// Picture blit: a full-screen drawimage against one memcpy of the same frame.
#include "demo/demo.h"
#include "demo/image.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// A frame of its own for one benchmark; the previous one is put back after.
struct Frame {
    std::vector<unsigned> pixels = std::vector<unsigned>(640 * 480);
    std::vector<unsigned *> lines = std::vector<unsigned *>(480);
    unsigned *saved_frame = demo::frame;
    unsigned **saved_lines = demo::frame_lines;
    Frame() {
        for (int y = 0; y < 480; y++)
            lines[y] = pixels.data() + y * 640;
        demo::frame = pixels.data();
        demo::frame_lines = lines.data();
    }
    ~Frame() {
        demo::frame = saved_frame;
        demo::frame_lines = saved_lines;
    }
};

void BM_drawimage_full(benchmark::State &state) {
    Frame f;
    std::vector<unsigned> src(640 * 480, 0xff123456);
    demo::pic_s pic{640, 480, src.data()};
    for (auto _ : state) {
        demo::drawimage(pic, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4);
}
BENCHMARK(BM_drawimage_full);

void BM_drawimage_card(benchmark::State &state) { // 600 x 330 at row 150
    Frame f;
    std::vector<unsigned> src(600 * 330, 0xff123456);
    demo::pic_s pic{600, 330, src.data()};
    for (auto _ : state) {
        demo::drawimage(pic, 20, 150);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 600 * 330 * 4);
}
BENCHMARK(BM_drawimage_card);

void BM_memcpy_full(benchmark::State &state) {
    Frame f;
    std::vector<unsigned> src(640 * 480, 0xff123456);
    for (auto _ : state) {
        std::memcpy(f.pixels.data(), src.data(), 640 * 480 * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4);
}
BENCHMARK(BM_memcpy_full);

} // namespace
