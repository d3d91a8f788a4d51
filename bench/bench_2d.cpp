// Throughput of the 2D rasterizer: span writers against std::fill, shaded spans, polygon fills.
#include "bench/bench_support.h"
#include "demo/2d/demo_2d.h"
#include "demo/2d/spans.h"
#include "demo/demo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <random>
#include <vector>

namespace {

// A 640 x 480 frame of its own, 64-byte aligned. Installed as demo::frame
// at the start of every benchmark here, since other benchmarks in the same
// binary install theirs.
struct BenchFrame {
    std::vector<unsigned> memory = std::vector<unsigned>(640 * 480 + 16);
    std::vector<unsigned *> lines = std::vector<unsigned *>(480);
    unsigned *base = nullptr;
    BenchFrame() {
        base = memory.data();
        while (reinterpret_cast<std::uintptr_t>(base) & 63)
            ++base;
        demo::build_frame_lines(base, demo::frame_height, demo::frame_pitch, lines.data());
    }
};
void bench_frame() {
    static BenchFrame f;
    demo::frame = f.base;
    demo::frame_lines = f.lines.data();
}

// Where the i-th span of a given length starts: every row, every alignment.
inline int span_row(unsigned i) {
    return i % 480;
}
inline int span_x(unsigned i, int length) {
    return (i * 7) % (641 - length);
}

void BM_Span_Flat(benchmark::State &state) {
    bench_frame();
    const int length = static_cast<int>(state.range(0));
    unsigned i = 0;
    for (auto _ : state) {
        const int x = span_x(i, length);
        demo::draw_poly_line_rgba8888<bool>(span_row(i), x, x + length - 1, false, false, i);
        ++i;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * length);
}

// std::fill (also the scalar twin of the fill loop) and the SSE2 fill loop,
// each inlined into the same benchmark loop.
inline void std_fill(unsigned *dst, int count, unsigned colour) {
    std::fill(dst, dst + count, colour);
}
template <void (*Fill)(unsigned *, int, unsigned)>
void BM_Span_FillKernel(benchmark::State &state) {
    bench_frame();
    const int length = static_cast<int>(state.range(0));
    unsigned i = 0;
    for (auto _ : state) {
        Fill(demo::frame_lines[span_row(i)] + span_x(i, length), length, i);
        ++i;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * length);
}

void BM_Span_Gouraud(benchmark::State &state) {
    bench_frame();
    const int length = static_cast<int>(state.range(0));
    unsigned i = 0;
    for (auto _ : state) {
        // A span is half-open: length pixels need ends length apart.
        const int x = span_x(i, length + 1);
        demo::draw_poly_line_rgba8888<demo::shade_t>(span_row(i), x, x + length, 50, 256,
                                                     0x00c08040u);
        ++i;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * length);
}

// The Gouraud pixel loop alone (shade stepping and scaling), each twin.
template <void (*Shade)(unsigned *, int, int, int, unsigned)>
void BM_ShadeRun(benchmark::State &state) {
    bench_frame();
    const int length = static_cast<int>(state.range(0));
    unsigned i = 0;
    for (auto _ : state) {
        Shade(demo::frame_lines[span_row(i)] + span_x(i, length), length, 50, 256, 0x00c08040u);
        ++i;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * length);
}

// Convex polygons about `across` pixels wide, like projected mesh faces:
// 3 to 6 corners on a circle, listed counter-clockwise on screen so the flat
// fill draws them, with shades from 50 to 256.
std::vector<demo::polygon2d_c> mesh_faces(int across) {
    std::mt19937 rng(across);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<demo::polygon2d_c> faces(256);
    for (auto &face : faces) {
        const int corners = 3 + static_cast<int>(rng() % 4);
        const double r = across / 2.0;
        const double cx = r + 1 + unit(rng) * (638 - 2 * r);
        const double cy = r + 1 + unit(rng) * (478 - 2 * r);
        const double turn = unit(rng) * 6.283185307179586;
        for (int k = 0; k < corners; ++k) {
            const double a = turn - k * 6.283185307179586 / corners;
            face.points.push_back({static_cast<int>(std::lround(cx + r * std::cos(a))),
                                   static_cast<int>(std::lround(cy + r * std::sin(a))),
                                   50 + static_cast<int>(rng() % 207)});
        }
        face.colour = 0x00ff8888u;
    }
    return faces;
}

template <typename T> void BM_PolygonFill(benchmark::State &state) {
    bench_frame();
    const auto faces = mesh_faces(static_cast<int>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        demo::drawpoly2d<T>(faces[i++ % faces.size()]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations()); // items = polygons
}

// Small faces, as a large mesh far away makes them: parallelograms with a
// horizontal top and bottom, 7 to 9 rows of 6 to 8 pixels, sheared by up to
// three pixels either way, listed so that the flat fill draws them.
std::vector<demo::polygon2d_c> small_faces() {
    std::mt19937 rng(7);
    std::vector<demo::polygon2d_c> faces(1024);
    for (auto &face : faces) {
        const int w = 4 + static_cast<int>(rng() % 3), h = 6 + static_cast<int>(rng() % 3);
        const int shear = static_cast<int>(rng() % 7) - 3;
        const int x = 4 + static_cast<int>(rng() % 620), y = static_cast<int>(rng() % 460);
        face.points = {{x, y, 0}, {x + shear, y + h, 0}, {x + shear + w, y + h, 0}, {x + w, y, 0}};
        face.colour = 0x00ff8888u;
    }
    return faces;
}

// One row run of a face: row, first column, pixels.
struct span {
    int y, x, count;
};

// The runs drawpoly2d<bool> writes for each face, read back from a frame
// filled by it one face at a time.
std::vector<std::vector<span>> spans_of(const std::vector<demo::polygon2d_c> &faces) {
    std::vector<std::vector<span>> all;
    for (const auto &face : faces) {
        demo::clear(0);
        demo::drawpoly2d<bool>(face);
        std::vector<span> runs;
        for (int y = 0; y < demo::frame_height; ++y)
            for (int x = 0; x < demo::frame_width; ++x)
                if (demo::frame_lines[y][x]) {
                    int end = x;
                    while (end < demo::frame_width && demo::frame_lines[y][end])
                        ++end;
                    runs.push_back({y, x, end - x});
                    x = end;
                }
        all.push_back(runs);
    }
    return all;
}

// The flat fill of small faces against wmemset of exactly the runs it
// writes, the two interleaved. Counters: mean_span (pixels per run), ns_per_face
// of the fastest pass over all faces, x_wmemset the ratio of the fastest
// passes (the target is 3 or less).
void BM_SmallFaces_FlatVsWmemset(benchmark::State &state) {
    bench::install_frame();
    const auto faces = small_faces();
    const auto runs = spans_of(faces);
    double pixels = 0, count = 0;
    for (const auto &face_runs : runs)
        for (const span &r : face_runs) {
            pixels += r.count;
            ++count;
        }
    double best_fill = 1e9, best_peer = 1e9;
    for (auto _ : state) {
        const double t = bench::timed([&] {
            for (const auto &face : faces)
                demo::drawpoly2d<bool>(face);
        });
        state.SetIterationTime(t);
        best_fill = std::min(best_fill, t);
        best_peer = std::min(
            best_peer, bench::timed([&] {
                for (std::size_t k = 0; k < faces.size(); ++k)
                    for (const span &r : runs[k])
                        std::wmemset(reinterpret_cast<wchar_t *>(demo::frame_lines[r.y] + r.x),
                                     static_cast<wchar_t>(faces[k].colour), r.count);
            }));
    }
    static_assert(sizeof(wchar_t) == sizeof(unsigned), "wmemset fills 32-bit pixels");
    state.counters["mean_span"] = pixels / count;
    state.counters["ns_per_face"] = best_fill / static_cast<double>(faces.size()) * 1e9;
    state.counters["x_wmemset"] = best_fill / best_peer;
}
BENCHMARK(BM_SmallFaces_FlatVsWmemset)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_TEMPLATE(BM_Span_FillKernel, std_fill)->Arg(8)->Arg(32)->Arg(100)->Arg(640);
BENCHMARK(BM_Span_Flat)->Arg(8)->Arg(32)->Arg(100)->Arg(640);
#if defined(__SSE2__)
BENCHMARK_TEMPLATE(BM_Span_FillKernel, demo::spans::fill_sse2)->Arg(8)->Arg(32)->Arg(100)->Arg(640);
#endif
BENCHMARK(BM_Span_Gouraud)->Arg(8)->Arg(32)->Arg(100)->Arg(639);
BENCHMARK_TEMPLATE(BM_ShadeRun, demo::spans::shade_run_scalar)->Arg(32)->Arg(639);
#if defined(__SSE2__)
BENCHMARK_TEMPLATE(BM_ShadeRun, demo::spans::shade_run_sse2)->Arg(32)->Arg(639);
#endif
BENCHMARK_TEMPLATE(BM_PolygonFill, bool)->Arg(20)->Arg(50)->Arg(100)->Arg(150);
BENCHMARK_TEMPLATE(BM_PolygonFill, demo::shade_t)->Arg(20)->Arg(50)->Arg(100)->Arg(150);
