// Mesh drawing throughput: draw_func on the show's meshes and on large ones, sort and transform,
// each beside a plain baseline from the same run.
#include "bench/bench_support.h"
#include "demo/3d/demo_3d.h"
#include "demo/demo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The show's meshes, read from the source tree beside this file, in a pose
// from the middle of their scenes.
const demo::obj3d_c &mesh(const char *name) {
    static demo::obj3d_c cube, jet;
    demo::obj3d_c &obj = std::strcmp(name, "cube") == 0 ? cube : jet;
    if (obj.coords.empty()) {
        std::string here = __FILE__;
        std::string root = here.substr(0, here.rfind("/bench/") + 1);
        std::ostringstream quiet; // the loader's progress line
        std::streambuf *old = std::cout.rdbuf(quiet.rdbuf());
        obj.load_obj(root + "assets/" + (&obj == &cube ? "cube.obj" : "f16.obj"));
        std::cout.rdbuf(old);
        obj.rotation = demo::fcoord3d_s{0.5, 0.4, 0.3, 0};
        obj.position.x = 5;
        obj.position.z = 5;
    }
    return obj;
}

// Baseline: one frame clear, the memset every frame of the show starts with.
void BM_clear_frame(benchmark::State &state) {
    bench::install_frame();
    for (auto _ : state) {
        demo::clear(0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_clear_frame);

// Mesh work of one frame (transform, cull, sort, project, fill); items/s is
// frames per second of mesh drawing alone.
void BM_draw_func(benchmark::State &state, const char *name, demo::drawpoly3d_fn fn) {
    bench::install_frame();
    const demo::obj3d_c &obj = mesh(name);
    if (obj.polygons.empty()) {
        state.SkipWithError("mesh not loaded");
        return;
    }
    demo::clear(0);
    for (auto _ : state) {
        obj.draw_func(fn);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_draw_func, cube_wireframe, "cube", demo::drawpoly3d_wireframe);
BENCHMARK_CAPTURE(BM_draw_func, cube_flat, "cube", demo::drawpoly3d_flat);
BENCHMARK_CAPTURE(BM_draw_func, cube_gourad, "cube", demo::drawpoly3d_gourad);
BENCHMARK_CAPTURE(BM_draw_func, jet_wireframe, "jet", demo::drawpoly3d_wireframe);
BENCHMARK_CAPTURE(BM_draw_func, jet_flat, "jet", demo::drawpoly3d_flat);
BENCHMARK_CAPTURE(BM_draw_func, jet_gourad, "jet", demo::drawpoly3d_gourad);

// A mesh of 10,000 positions (and as many normals) spread through a box.
const demo::obj3d_c &big_mesh() {
    static demo::obj3d_c obj;
    if (obj.coords.empty()) {
        std::mt19937 random(1);
        std::uniform_real_distribution<double> spread(-10, 10);
        for (int i = 0; i < 20000; ++i)
            obj.coords.push_back(demo::fcoord3d_s{spread(random), spread(random), spread(random),
                                                  i < 10000 ? 1.0 : 0.0});
        obj.nvertices = 10000;
        obj.position = demo::fcoord3d_s{1, 50, 2, 1};
        obj.rotation = demo::fcoord3d_s{0.5, 0.4, 0.3, 0};
    }
    return obj;
}

// items/s is positions (with their normals) per second.
void BM_transform_10000(benchmark::State &state) {
    const demo::obj3d_c &obj = big_mesh();
    std::vector<demo::fcoord3d_s> out(obj.coords.size());
    for (auto _ : state) {
        obj.transform(out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    state.SetBytesProcessed(state.iterations() * obj.coords.size() * sizeof(demo::fcoord3d_s));
}
BENCHMARK(BM_transform_10000);

// Baseline: copying the same coordinates, the least a transform must move.
void BM_copy_coords_10000(benchmark::State &state) {
    const demo::obj3d_c &obj = big_mesh();
    std::vector<demo::fcoord3d_s> out(obj.coords.size());
    for (auto _ : state) {
        std::memcpy(out.data(), obj.coords.data(), obj.coords.size() * sizeof(demo::fcoord3d_s));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    state.SetBytesProcessed(state.iterations() * obj.coords.size() * sizeof(demo::fcoord3d_s));
}
BENCHMARK(BM_copy_coords_10000);

// A torus of `faces` triangles (faces / 2 positions) 300 pixels across at
// the show's depth, built in memory with the loader's normals: face normals
// from the first three corners, vertex normals the normalised sum of the
// faces around each position. Many faces, most of them a few pixels big.
const demo::obj3d_c &torus_mesh(int faces) {
    static std::vector<std::pair<int, demo::obj3d_c>> made;
    for (const auto &m : made)
        if (m.first == faces)
            return m.second;
    made.emplace_back(faces, demo::obj3d_c());
    demo::obj3d_c &obj = made.back().second;
    const int across = static_cast<int>(std::sqrt(faces / 8.0)), around = faces / 2 / across;
    const double two_pi = 6.283185307179586;
    for (int i = 0; i < around; ++i)
        for (int j = 0; j < across; ++j) {
            const double u = two_pi * i / around, v = two_pi * j / across;
            obj.coords.push_back(demo::fcoord3d_s{(20 + 9 * std::cos(v)) * std::cos(u),
                                                  (20 + 9 * std::cos(v)) * std::sin(u),
                                                  9 * std::sin(v), 1});
        }
    obj.nvertices = static_cast<unsigned>(obj.coords.size());
    auto at = [&](int i, int j) { return (i % around) * across + (j % across); };
    for (int i = 0; i < around; ++i)
        for (int j = 0; j < across; ++j) {
            const int a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            const int corners[2][3] = {{a, b, c}, {a, c, d}};
            for (const auto &tri : corners) {
                demo::polygon3d_c poly;
                for (int k : tri)
                    poly.vertices.push_back(demo::vertex_c{k, 0});
                obj.polygons.push_back(poly);
            }
        }
    const int np = static_cast<int>(obj.polygons.size()), nv = static_cast<int>(obj.nvertices);
    std::vector<demo::fcoord3d_s> sums(nv, demo::fcoord3d_s{0, 0, 0, 0});
    for (int k = 0; k < np; ++k) {
        demo::polygon3d_c &poly = obj.polygons[k];
        demo::fcoord3d_s e1, e2, n;
        demo::vect4_sub(obj.coords[poly.vertices[1].pos], obj.coords[poly.vertices[0].pos], e1);
        demo::vect4_sub(obj.coords[poly.vertices[2].pos], obj.coords[poly.vertices[0].pos], e2);
        demo::vect4_normalize(e1);
        demo::vect4_normalize(e2);
        demo::vect4_cross_nonorm(e1, e2, n);
        n.w = 0;
        demo::vect4_normalize(n);
        poly.normal = nv + k;
        obj.coords.push_back(n);
        for (demo::vertex_c &v : poly.vertices) {
            v.normal = nv + np + v.pos;
            demo::vect4_translate(sums[v.pos], n, sums[v.pos]);
        }
    }
    for (demo::fcoord3d_s &sum : sums) {
        demo::vect4_normalize(sum);
        obj.coords.push_back(sum);
    }
    obj.position = demo::fcoord3d_s{0, 50, 0, 1};
    obj.rotation = demo::fcoord3d_s{0.9, 0.4, 0.3, 0};
    return obj;
}

// draw_func on a large mesh, interleaved with the frame clear. Counters:
//   ns_per_face  the fastest draw over the mesh's faces (all of them, culled
//                or not), nanoseconds
//   x_clear      the fastest draw over the fastest clear
void BM_draw_func_faces(benchmark::State &state, demo::drawpoly3d_fn fn) {
    bench::install_frame();
    const demo::obj3d_c &obj = torus_mesh(static_cast<int>(state.range(0)));
    double best_draw = 1e9, best_clear = 1e9;
    for (auto _ : state) {
        const double t = bench::timed([&] { obj.draw_func(fn); });
        state.SetIterationTime(t);
        best_draw = std::min(best_draw, t);
        best_clear = std::min(best_clear, bench::timed([] { demo::clear(0); }));
    }
    const double faces = static_cast<double>(obj.polygons.size());
    state.counters["faces"] = faces;
    state.counters["ns_per_face"] = best_draw / faces * 1e9;
    state.counters["x_clear"] = best_draw / best_clear;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(faces));
}
BENCHMARK_CAPTURE(BM_draw_func_faces, flat, demo::drawpoly3d_flat)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_draw_func_faces, gourad, demo::drawpoly3d_gourad)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The depth sort of a large mesh's visible faces against std::sort of as
// many doubles in the same order, the least a comparison sort can do.
// Counters: ns_per_face of the fastest sort, x_sort_doubles the ratio.
void BM_sort_faces(benchmark::State &state) {
    const demo::obj3d_c &obj = torus_mesh(static_cast<int>(state.range(0)));
    std::vector<demo::fcoord3d_s> world(obj.coords.size());
    obj.transform(world);
    std::vector<const demo::polygon3d_c *> order;
    demo::sortpolygon3d_backtofront(obj.polygons, world, order);
    std::vector<double> keys, sorted;
    for (const demo::polygon3d_c *poly : order)
        keys.push_back(world[poly->vertices[0].pos].y);
    double best_sort = 1e9, best_peer = 1e9;
    for (auto _ : state) {
        order.clear();
        const double t =
            bench::timed([&] { demo::sortpolygon3d_backtofront(obj.polygons, world, order); });
        state.SetIterationTime(t);
        best_sort = std::min(best_sort, t);
        sorted = keys;
        best_peer = std::min(best_peer, bench::timed([&] {
                                 std::sort(sorted.begin(), sorted.end(), std::greater<double>());
                             }));
    }
    state.counters["visible"] = static_cast<double>(keys.size());
    state.counters["ns_per_face"] = best_sort / static_cast<double>(obj.polygons.size()) * 1e9;
    state.counters["x_sort_doubles"] = best_sort / best_peer;
}
BENCHMARK(BM_sort_faces)->Arg(100000)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
