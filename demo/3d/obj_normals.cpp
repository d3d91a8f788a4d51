// Face and vertex normals of a loaded mesh, appended after its positions.
#include "demo/3d/obj_normals.h"

#include <cfloat>
#include <cstddef>
#include <iostream>

namespace demo {

namespace {

// A vector that can be normalised without overflow, underflow or NaN.
bool has_direction(const fcoord3d_s &v) {
    double length = vect4_length(v);
    return length >= DBL_MIN && length <= DBL_MAX;
}

} // namespace

void add_face_normals(obj3d_c &mesh, const std::vector<int> &face_lines, const std::string &name) {
    // Face normals from the first three corners. A face whose corners give
    // no direction gets a zero normal, which the visibility test never
    // passes, so it is never drawn.
    for (std::size_t k = 0; k < mesh.polygons.size(); ++k) {
        polygon3d_c &poly = mesh.polygons[k];
        const fcoord3d_s &p0 = mesh.coords[poly.vertices[0].pos];
        const fcoord3d_s &p1 = mesh.coords[poly.vertices[1].pos];
        const fcoord3d_s &p2 = mesh.coords[poly.vertices[2].pos];
        fcoord3d_s a, b, n = {0, 0, 0, 0};
        vect4_sub(p1, p0, a);
        vect4_sub(p2, p0, b);
        if (has_direction(a) && has_direction(b)) {
            vect4_normalize(a);
            vect4_normalize(b);
            vect4_cross_nonorm(a, b, n);
            n.w = 0.0;
        }
        if (has_direction(n)) {
            vect4_normalize(n);
        } else {
            std::cerr << "Face on line " << face_lines[k] << " of " << name
                      << " has no normal: it is never drawn" << std::endl;
            n = fcoord3d_s{0, 0, 0, 0};
        }
        poly.normal = static_cast<int>(mesh.coords.size());
        mesh.coords.push_back(n);
    }
}

void add_vertex_normals(obj3d_c &mesh) {
    // Vertex normals: the mean direction of the faces that use the position,
    // in one pass over the corners. Each position's sum starts at zero and
    // takes the normals of its faces in face order, each face once however
    // often it lists the position: the same additions in the same order as
    // searching every face for each position. A position no face uses, or
    // whose faces cancel out, gets a zero normal (Gouraud shade 50); all the
    // corners at a position share its normal.
    const std::size_t first_normal = mesh.coords.size();
    mesh.coords.resize(first_normal + mesh.nvertices, fcoord3d_s{0, 0, 0, 0});
    fcoord3d_s *const sums = mesh.coords.data() + first_normal;
    // The last face whose normal each position's sum took.
    std::vector<std::size_t> counted_for(mesh.nvertices, mesh.polygons.size());
    for (std::size_t k = 0; k < mesh.polygons.size(); ++k) {
        polygon3d_c &poly = mesh.polygons[k];
        const fcoord3d_s &n = mesh.coords[poly.normal];
        for (vertex_c &v : poly.vertices) {
            v.normal = static_cast<int>(first_normal) + v.pos;
            if (counted_for[v.pos] != k) {
                counted_for[v.pos] = k;
                vect4_translate(sums[v.pos], n, sums[v.pos]);
            }
        }
    }
    for (unsigned i = 0; i < mesh.nvertices; ++i) {
        if (has_direction(sums[i]))
            vect4_normalize(sums[i]);
        else
            sums[i] = fcoord3d_s{0, 0, 0, 0};
    }
}

} // namespace demo
