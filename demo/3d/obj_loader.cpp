// The OBJ loader: positions and faces from a Wavefront OBJ file, and their face and vertex normals.
#include "demo/3d/demo_3d.h"

#include <algorithm>
#include <cfloat>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace demo {

namespace {

// A vector that can be normalised without overflow, underflow or NaN.
bool has_direction(const fcoord3d_s &v) {
    double length = vect4_length(v);
    return length >= DBL_MIN && length <= DBL_MAX;
}

} // namespace

bool obj3d_c::load_obj(const std::string &name) {
    std::ifstream in(name);
    if (!in) {
        std::cerr << "Unable to open file " << name << std::endl;
        return false;
    }
    std::cout << "Loading object " << name << "... " << std::flush;

    position = fcoord3d_s{0, 50, 0, 1};
    rotation = fcoord3d_s{0, 0, 0, 0};
    // Loading replaces whatever the object held; a failed load leaves it
    // empty, so drawing it draws nothing.
    auto empty = [this]() {
        coords.clear();
        polygons.clear();
        nvertices = 0;
    };
    auto fail = [&empty]() {
        empty();
        return false;
    };
    empty();

    // Corner indices may refer to "v" lines further down, so they are checked
    // once the whole file is read; each corner remembers its line.
    struct corner_ref {
        int line;
        long index; // 1-based, as written
    };
    std::vector<corner_ref> corner_refs;
    std::vector<int> face_lines;

    std::string line;
    int lineno = 0;
    while (std::getline(in, line)) {
        ++lineno;
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword))
            continue; // empty or only white space
        if (keyword == "#") {
        } else if (keyword == "v") {
            fcoord3d_s p;
            if (!(words >> p.x >> p.y >> p.z)) {
                std::cerr << "Syntax error in obj file: "
                          << "Vertex " << coords.size() + 1 << " is all bad on line " << lineno
                          << std::endl;
                std::abort();
            }
            p.w = 1.0;
            coords.push_back(p);
        } else if (keyword == "vn") {
        } else if (keyword == "f") {
            // Each corner is an index followed directly by its slash suffix
            // ("1/2/3", "1//3", "1/2"); the suffix is read and dropped.
            polygon3d_c poly;
            int index;
            std::string suffix;
            while (words >> index && words >> suffix) {
                vertex_c v;
                v.pos = index >= 1 ? index - 1 : -1;
                v.normal = 0;
                poly.vertices.push_back(v);
                corner_refs.push_back(corner_ref{lineno, index});
            }
            if (poly.vertices.size() < 3) {
                std::cerr << "Polygon with <3 vertices!!\n";
                return fail();
            }
            poly.colour = 0x00FF00;
            polygons.push_back(poly);
            face_lines.push_back(lineno);
        } else if (keyword == "g" || keyword == "vp" || keyword == "vt" || keyword == "usemtl" ||
                   keyword == "mtllib") {
        } else {
            std::cerr << "Unknown line in object file: " << line << std::endl;
        }
    }
    if (in.bad()) {
        std::cerr << "Error reading object file " << name << std::endl;
        return fail();
    }

    nvertices = static_cast<unsigned>(coords.size());
    for (const corner_ref &ref : corner_refs) {
        if (ref.index < 1 || ref.index > static_cast<long>(nvertices)) {
            std::cerr << "Bad vertex index " << ref.index << " on line " << ref.line << " of "
                      << name << " (the file has " << nvertices << " vertices)" << std::endl;
            return fail();
        }
    }

    // Face normals from the first three corners. A face whose corners give
    // no direction gets a zero normal, which the visibility test never
    // passes, so it is never drawn.
    for (std::size_t k = 0; k < polygons.size(); ++k) {
        polygon3d_c &poly = polygons[k];
        const fcoord3d_s &p0 = coords[poly.vertices[0].pos];
        const fcoord3d_s &p1 = coords[poly.vertices[1].pos];
        const fcoord3d_s &p2 = coords[poly.vertices[2].pos];
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
        poly.normal = static_cast<int>(coords.size());
        coords.push_back(n);
    }

    // Vertex normals: the mean direction of the faces that use the position.
    // A position no face uses, or whose faces cancel out, gets a zero normal
    // (Gouraud shade 50). A face listing the position twice counts once, and
    // all its corners there share the position's normal.
    for (unsigned i = 0; i < nvertices; ++i) {
        int normal_index = static_cast<int>(coords.size());
        fcoord3d_s sum = {0, 0, 0, 0};
        for (polygon3d_c &poly : polygons) {
            auto corner =
                std::find_if(poly.vertices.begin(), poly.vertices.end(), vertex_pos_is(i));
            if (corner == poly.vertices.end())
                continue;
            for (auto v = corner; v != poly.vertices.end(); ++v)
                if (v->pos == static_cast<int>(i))
                    v->normal = normal_index;
            vect4_translate(sum, coords[poly.normal], sum);
        }
        if (has_direction(sum))
            vect4_normalize(sum);
        else
            sum = fcoord3d_s{0, 0, 0, 0};
        coords.push_back(sum);
    }

    std::cout << " done (" << polygons.size() << " faces)" << std::endl;
    return true;
}

bool obj3d_c::load_fake() {
    return false;
}

} // namespace demo
