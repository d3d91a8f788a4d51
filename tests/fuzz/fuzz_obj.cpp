// Fuzz target: any bytes as an OBJ file through the mesh loader, then the mesh drawn three ways.
#include "demo/3d/demo_3d.h"
#include "demo/check.h"
#include "fuzz_support.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>

namespace {

std::string mesh_path;
vorbo_fuzz::guarded_frame *frame;

// A "v" line without three readable numbers ends the process by design.
// Such inputs are passed over rather than reported: this reads every line
// exactly as the loader does (split at '\n', the first white-space-delimited
// word as keyword, three numbers of the coordinates' type after it).
bool every_vertex_line_reads(const std::string &text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword) || keyword != "v")
            continue;
        decltype(demo::fcoord3d_s::x) x, y, z;
        if (!(words >> x >> y >> z))
            return false;
    }
    return true;
}

bool finite(const demo::fcoord3d_s &v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// A computed normal is a unit vector or, for a face or position that gives
// no direction, all zero.
bool unit_or_zero(const demo::fcoord3d_s &n) {
    if (!finite(n))
        return false;
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    return length == 0 || std::fabs(length - 1) < 1e-9;
}

void check_loaded(const demo::obj3d_c &mesh) {
    const std::size_t nv = mesh.nvertices, np = mesh.polygons.size();
    if (mesh.coords.size() != 2 * nv + np)
        vorbo_fuzz::fail("coords is not positions + face normals + vertex normals");
    for (std::size_t k = 0; k < np; ++k) {
        const demo::polygon3d_c &poly = mesh.polygons[k];
        if (poly.vertices.size() < 3)
            vorbo_fuzz::fail("a face with fewer than three corners was kept");
        if (poly.normal != static_cast<int>(nv + k))
            vorbo_fuzz::fail("face normal index out of place");
        if (!unit_or_zero(mesh.coords[poly.normal]))
            vorbo_fuzz::fail("face normal neither unit nor zero");
        for (const demo::vertex_c &v : poly.vertices) {
            if (v.pos < 0 || static_cast<std::size_t>(v.pos) >= nv)
                vorbo_fuzz::fail("corner names no position");
            if (v.normal < static_cast<int>(nv + np) ||
                static_cast<std::size_t>(v.normal) >= 2 * nv + np)
                vorbo_fuzz::fail("corner's vertex normal index outside the vertex normals");
        }
    }
    for (std::size_t i = nv + np; i < mesh.coords.size(); ++i)
        if (!unit_or_zero(mesh.coords[i]))
            vorbo_fuzz::fail("vertex normal neither unit nor zero");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    mesh_path = vorbo_fuzz::make_scratch_dir() + "/mesh.obj";
    frame = new vorbo_fuzz::guarded_frame;
    frame->install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    if (!every_vertex_line_reads(text))
        return -1;
    vorbo_fuzz::write_file(mesh_path, data, size);

    demo::obj3d_c mesh;
    if (!mesh.load_obj(mesh_path)) {
        if (!mesh.coords.empty() || !mesh.polygons.empty() || mesh.nvertices != 0)
            vorbo_fuzz::fail("a failed load left a mesh behind");
        return 0;
    }
    check_loaded(mesh);

    // Place and turn the mesh by the input's hash, as the show does each
    // frame, and draw it with every face style; nothing may land outside
    // the frame, and no check may fail (faces are cut to what the viewer
    // sees), whatever the file's numbers.
    // 64 bits of pose: where size_t has only 32, a second hash gives the rest.
    std::uint64_t h = std::hash<std::string>()(text);
    if (sizeof(std::size_t) < sizeof h)
        h |= static_cast<std::uint64_t>(std::hash<std::string>()(text + '#')) << 32;
    mesh.rotation.x = (h & 0xff) * 0.0245;
    mesh.rotation.y = (h >> 8 & 0xff) * 0.0245;
    mesh.rotation.z = (h >> 16 & 0xff) * 0.0245;
    mesh.position.x = static_cast<int>(h >> 24 & 0x3f) - 32;
    mesh.position.z = static_cast<int>(h >> 30 & 0x3f) - 32;
    face_colour_mode = h >> 36 & 1;
    const unsigned long checks = demo::check_failure_count();
    mesh.draw_func(demo::drawpoly3d_flat);
    mesh.draw_func(demo::drawpoly3d_gourad);
    mesh.draw_func(demo::drawpoly3d_wireframe);
    if (!frame->guards_intact())
        vorbo_fuzz::fail("mesh drawing wrote outside the frame");
    if (demo::check_failure_count() != checks)
        vorbo_fuzz::fail("a check failed while drawing a loaded mesh");
    frame->clear();
    return 0;
}
