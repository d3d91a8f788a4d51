// Picture blit: a full-screen drawimage against one memcpy of the same frame.
#include "bench/bench_support.h"
#include "demo/demo.h"
#include "demo/image.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

void BM_drawimage_full(benchmark::State &state) {
    bench::install_frame();
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
    bench::install_frame();
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
    bench::install_frame();
    std::vector<unsigned> src(640 * 480, 0xff123456);
    for (auto _ : state) {
        std::memcpy(demo::frame, src.data(), 640 * 480 * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4);
}
BENCHMARK(BM_memcpy_full);

} // namespace
