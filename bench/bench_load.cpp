// OBJ loading against tinyobjloader on the same bunny-sized file, the two interleaved in one loop.
//
// The file is made here rather than kept in the tree: a lumpy torus of 190 x
// 190 = 36,100 positions and 72,200 triangles (the Stanford bunny has 35,947
// and 69,451), positions written to six decimals as exporters write them.
// Two forms: bare corners ("f 1 2 3", the bunny's own form) and Blender's
// export with vertex normals ("vn" lines, "f 1//1 2//2 3//3"). Each iteration
// loads the file with obj3d_c::load_obj, then with tinyobjloader's LoadObj
// (doubles, no triangulation: the same work of reading every number), each
// timed on its own; the ratio uses each one's fastest load. Counters:
//   ours_ms, tinyobj_ms  the fastest loads, milliseconds
//   x_tinyobj            ours / tinyobjloader's (the target is 4 or less)
// tinyobjloader (Debian's libtinyobjloader-dev) is built into this benchmark
// from its header and never linked into the programs.
#include "bench/bench_support.h"
#include "demo/3d/demo_3d.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

#if __has_include(<tiny_obj_loader.h>)
#define TINYOBJLOADER_IMPLEMENTATION
#define TINYOBJLOADER_USE_DOUBLE
#include <tiny_obj_loader.h>
#define VORBO_HAVE_TINYOBJ 1
#endif

namespace {

const double two_pi = 6.283185307179586;

// The torus as OBJ text: positions row by row, each grid cell two
// triangles wound counter-clockwise seen from outside.
std::string lumpy_torus(int around, int across, bool with_normals) {
    std::string text = "# lumpy torus\n";
    char line[160];
    for (int i = 0; i < around; ++i)
        for (int j = 0; j < across; ++j) {
            const double u = two_pi * i / around, v = two_pi * j / across;
            const double r = 3 + 0.2 * std::sin(7 * u) * std::cos(5 * v);
            const double x = (8 + r * std::cos(v)) * std::cos(u);
            const double y = (8 + r * std::cos(v)) * std::sin(u);
            const double z = r * std::sin(v);
            std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n", x, y, z);
            text += line;
            if (with_normals) {
                std::snprintf(line, sizeof line, "vn %.6f %.6f %.6f\n", std::cos(v) * std::cos(u),
                              std::cos(v) * std::sin(u), std::sin(v));
                text += line;
            }
        }
    auto at = [&](int i, int j) { return (i % around) * across + (j % across) + 1; };
    for (int i = 0; i < around; ++i)
        for (int j = 0; j < across; ++j) {
            const int a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            if (with_normals)
                std::snprintf(line, sizeof line, "f %d//%d %d//%d %d//%d\nf %d//%d %d//%d %d//%d\n",
                              a, a, b, b, c, c, a, a, c, c, d, d);
            else
                std::snprintf(line, sizeof line, "f %d %d %d\nf %d %d %d\n", a, b, c, a, c, d);
            text += line;
        }
    return text;
}

// The file, written once per form into the temporary directory.
const std::string &bunny_file(bool with_normals) {
    static std::string paths[2];
    std::string &path = paths[with_normals];
    if (path.empty()) {
        path = "/tmp/vorbo_bench_" + std::to_string(getpid()) +
               (with_normals ? "_normals.obj" : "_bare.obj");
        const std::string text = lumpy_torus(190, 190, with_normals);
        if (FILE *f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
    return path;
}

struct remove_files {
    ~remove_files() {
        for (bool n : {false, true})
            std::remove(bunny_file(n).c_str());
    }
} removed_at_exit;

bool load_quietly(demo::obj3d_c &obj, const std::string &path) {
    std::ostringstream quiet; // the loader's progress line
    std::streambuf *old = std::cout.rdbuf(quiet.rdbuf());
    const bool ok = obj.load_obj(path);
    std::cout.rdbuf(old);
    return ok;
}

void BM_load_vs_tinyobj(benchmark::State &state) {
#ifndef VORBO_HAVE_TINYOBJ
    state.SkipWithError("tiny_obj_loader.h not installed (libtinyobjloader-dev)");
    return;
#else
    const std::string &path = bunny_file(state.range(0) != 0);
    double best_ours = 1e9, best_peer = 1e9;
    std::size_t faces = 0, peer_faces = 0;
    for (auto _ : state) {
        demo::obj3d_c obj;
        bool ok = false;
        const double t = bench::timed([&] { ok = load_quietly(obj, path); });
        state.SetIterationTime(t);
        best_ours = std::min(best_ours, t);
        if (!ok) {
            state.SkipWithError("load_obj failed");
            return;
        }
        faces = obj.polygons.size();

        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        best_peer = std::min(best_peer, bench::timed([&] {
                                 tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err,
                                                  path.c_str(), nullptr, false);
                             }));
        peer_faces = shapes.empty() ? 0 : shapes[0].mesh.num_face_vertices.size();
    }
    if (faces != peer_faces) {
        state.SkipWithError("the two loaders read different face counts");
        return;
    }
    state.counters["faces"] = static_cast<double>(faces);
    state.counters["ours_ms"] = best_ours * 1e3;
    state.counters["tinyobj_ms"] = best_peer * 1e3;
    state.counters["x_tinyobj"] = best_ours / best_peer;
#endif
}
BENCHMARK(BM_load_vs_tinyobj)
    ->ArgName("normals")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
