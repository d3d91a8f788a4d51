// The OBJ loader: a Wavefront OBJ file read into a mesh, step by step, then given its normals.
#include "demo/3d/demo_3d.h"
#include "demo/3d/obj_line_reader.h"
#include "demo/3d/obj_normals.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace demo {

namespace {

// The whole file; a read error sets the stream's badbit, as reading it line
// by line would.
std::string read_all(std::ifstream &in) {
    std::string text;
    char block[1 << 16];
    for (;;) {
        in.read(block, sizeof block);
        text.append(block, static_cast<std::size_t>(in.gcount()));
        if (!in)
            return text;
    }
}

// The lines of one file read into a mesh's positions and faces, and what the
// checks after the reading need to know of them.
class obj_parser {
  public:
    explicit obj_parser(obj3d_c &mesh) : mesh(mesh) {}

    // Reads every line of text. False, after its message, at a face with
    // fewer than three corners; a "v" line without three numbers ends the
    // process.
    bool read(const std::string &text);

    // True when every corner names one of the mesh's nvertices positions;
    // else prints which one does not and returns false.
    bool corners_name_positions(const std::string &name) const;

    // The line each face was read from, in face order.
    std::vector<int> face_lines;

  private:
    void read_vertex(obj_line_reader &words, int lineno);
    bool read_face(obj_line_reader &words, int lineno);

    obj3d_c &mesh;
    // Corner indices may refer to "v" lines further down, so positive ones
    // are checked once the whole file is read. A negative index counts back
    // from the positions read so far (-1 is the latest), so it is resolved
    // where it stands; one that reaches before the first position, or an
    // index of 0, is kept as pos -1, and the first of them is remembered for
    // its message.
    struct bad_corner {
        int line = 0;
        int index = 0;          // as written
        std::size_t before = 0; // positions read before its line
    } first_bad;
    bool any_bad = false;
    std::vector<vertex_c> corners; // the face being read
};

bool obj_parser::read(const std::string &text) {
    const char *next = text.data();
    const char *const text_end = text.data() + text.size();
    int lineno = 0;
    while (next < text_end) {
        const char *const line = next;
        const char *eol = static_cast<const char *>(std::memchr(line, '\n', text_end - line));
        if (!eol)
            eol = text_end;
        next = eol + 1;
        ++lineno;
        obj_line_reader words(line, eol);
        const char *key, *key_end;
        if (!words.word(key, key_end))
            continue; // empty or only white space
        if (is_word(key, key_end, "v")) {
            read_vertex(words, lineno);
        } else if (is_word(key, key_end, "f")) {
            if (!read_face(words, lineno))
                return false;
        } else if (is_word(key, key_end, "#") || is_word(key, key_end, "vn") ||
                   is_word(key, key_end, "g") || is_word(key, key_end, "vp") ||
                   is_word(key, key_end, "vt") || is_word(key, key_end, "usemtl") ||
                   is_word(key, key_end, "mtllib")) {
        } else {
            std::cerr << "Unknown line in object file: ";
            std::cerr.write(line, eol - line) << std::endl;
        }
    }
    return true;
}

void obj_parser::read_vertex(obj_line_reader &words, int lineno) {
    fcoord3d_s p;
    if (!words.read_double(p.x) || !words.read_double(p.y) || !words.read_double(p.z)) {
        std::cerr << "Syntax error in obj file: "
                  << "Vertex " << mesh.coords.size() + 1 << " is all bad on line " << lineno
                  << std::endl;
        std::abort();
    }
    p.w = 1.0;
    mesh.coords.push_back(p);
}

bool obj_parser::read_face(obj_line_reader &words, int lineno) {
    // A corner is an index, bare ("1") or followed directly by its slash
    // suffix ("1/2/3", "1//3", "1/2"), which is dropped.
    corners.clear();
    int index;
    while (words.read_int(index)) {
        if (!words.at_word_end())
            words.skip_word();
        vertex_c v;
        if (index >= 1) {
            v.pos = index - 1;
        } else {
            const long long back = static_cast<long long>(mesh.coords.size()) + index;
            v.pos = index < 0 && back >= 0 ? static_cast<int>(back) : -1;
            if (v.pos < 0 && !any_bad) {
                any_bad = true;
                first_bad.line = lineno;
                first_bad.index = index;
                first_bad.before = mesh.coords.size();
            }
        }
        v.normal = 0;
        corners.push_back(v);
    }
    if (corners.size() < 3) {
        std::cerr << "Polygon with <3 vertices!!\n";
        return false;
    }
    mesh.polygons.emplace_back();
    mesh.polygons.back().vertices.assign(corners.begin(), corners.end());
    mesh.polygons.back().colour = 0x00FF00;
    face_lines.push_back(lineno);
    return true;
}

bool obj_parser::corners_name_positions(const std::string &name) const {
    const unsigned nvertices = mesh.nvertices;
    for (std::size_t k = 0; k < mesh.polygons.size(); ++k)
        for (const vertex_c &v : mesh.polygons[k].vertices) {
            if (v.pos >= 0 && static_cast<unsigned>(v.pos) < nvertices)
                continue;
            // Corners in file order: the first one out of range is either a
            // positive index past the last position or the first bad one
            // found while reading.
            const bool late = v.pos >= 0;
            const long index = late ? v.pos + 1L : first_bad.index;
            const int line = late ? face_lines[k] : first_bad.line;
            std::cerr << "Bad vertex index " << index << " on line " << line << " of " << name
                      << " (the file has " << nvertices << " vertices)" << std::endl;
            if (index < 0)
                std::cerr << "A negative index counts back from the " << first_bad.before
                          << " vertices before its line" << std::endl;
            return false;
        }
    return true;
}

// What a mesh holds before loading, and after a failed load: nothing to draw.
void empty_mesh(obj3d_c &mesh) {
    mesh.coords.clear();
    mesh.polygons.clear();
    mesh.nvertices = 0;
}

} // namespace

bool obj3d_c::load_obj(const std::string &name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        std::cerr << "Unable to open file " << name << std::endl;
        return false;
    }
    std::cout << "Loading object " << name << "... " << std::flush;

    position = fcoord3d_s{0, 50, 0, 1};
    rotation = fcoord3d_s{0, 0, 0, 0};
    // Loading replaces whatever the object held; a failed load leaves it
    // empty, so drawing it draws nothing.
    empty_mesh(*this);

    obj_parser parser(*this);
    bool read = parser.read(read_all(in));
    if (read && in.bad()) {
        std::cerr << "Error reading object file " << name << std::endl;
        read = false;
    }
    if (read) {
        nvertices = static_cast<unsigned>(coords.size());
        read = parser.corners_name_positions(name);
    }
    if (!read) {
        empty_mesh(*this);
        return false;
    }

    add_face_normals(*this, parser.face_lines, name);
    add_vertex_normals(*this);
    std::cout << " done (" << polygons.size() << " faces)" << std::endl;
    return true;
}

bool obj3d_c::load_fake() {
    return false;
}

} // namespace demo
