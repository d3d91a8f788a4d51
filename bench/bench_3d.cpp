// Mesh drawing throughput: draw_func with each face style on the show's meshes, and transform
// on a large mesh, each beside a plain memory baseline from the same run.
#include "bench/bench_support.h"
#include "demo/3d/demo_3d.h"
#include "demo/demo.h"

#include <benchmark/benchmark.h>

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

} // namespace
