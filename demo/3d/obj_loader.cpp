// The OBJ loader: positions and faces from a Wavefront OBJ file, and their face and vertex normals.
#include "demo/3d/demo_3d.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace demo {

namespace {

// A vector that can be normalised without overflow, underflow or NaN.
bool has_direction(const fcoord3d_s &v) {
    double length = vect4_length(v);
    return length >= DBL_MIN && length <= DBL_MAX;
}

// White space as the stream extractors skip it in the "C" locale.
inline bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool is_digit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// The powers of ten that a double holds exactly.
const double exact_tens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// One line of the file, read from left to right the way `>>` of a
// std::istringstream over it reads (the "C" locale, decimal integers): the
// same words, the same numbers, the same failures.
class line_reader {
  public:
    line_reader(const char *from, const char *to) : p(from), end(to) {}

    void skip_space() {
        while (p < end && is_space(*p))
            ++p;
    }

    // The next white-space-delimited word, as `>> std::string`; false at the
    // end of the line.
    bool word(const char *&from, const char *&to) {
        skip_space();
        from = p;
        while (p < end && !is_space(*p))
            ++p;
        to = p;
        return from != to;
    }

    // The rest of the current word, dropped.
    void skip_word() {
        while (p < end && !is_space(*p))
            ++p;
    }
    bool at_word_end() const { return p == end || is_space(*p); }

    // `>> int`: an optional sign and decimal digits; a number outside int
    // fails, as does a sign or nothing without digits.
    bool read_int(int &out) {
        skip_space();
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-'))
            negative = *p++ == '-';
        if (p == end || !is_digit(*p))
            return false;
        long long v = 0;
        bool too_big = false;
        for (; p < end && is_digit(*p); ++p) {
            v = v * 10 + (*p - '0');
            if (v > 2147483648LL) {
                too_big = true;
                v = 2147483648LL;
            }
        }
        if (negative)
            v = -v;
        if (too_big || v > 2147483647LL)
            return false;
        out = static_cast<int>(v);
        return true;
    }

    // `>> double`. The stream takes the longest run of the form sign,
    // digits, one point, digits, then an 'e' or 'E' (only after a digit) with
    // a sign and digits, and converts it with strtod: the run must convert
    // whole (no digit at all, or an exponent without digits, fails) and
    // must not overflow (an underflow gives what strtod gives).
    bool read_double(double &out) {
        skip_space();
        const char *const start = p;
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-'))
            negative = *p++ == '-';
        const char *const unsigned_start = p;
        // Mantissa: up to 19 significant digits kept exactly in m; scale is
        // the power of ten that m stands for (digits dropped or after the
        // point).
        std::uint64_t m = 0;
        int kept = 0;
        long scale = 0;
        bool digits = false, point = false, exact = true;
        for (; p < end; ++p) {
            const char c = *p;
            if (is_digit(c)) {
                digits = true;
                if (m == 0 && c == '0') {
                    scale -= point;
                } else if (kept < 19) {
                    m = m * 10 + static_cast<unsigned>(c - '0');
                    ++kept;
                    scale -= point;
                } else {
                    exact = exact && c == '0';
                    scale += !point;
                }
            } else if (c == '.' && !point) {
                point = true;
            } else {
                break;
            }
        }
        if (!digits)
            return false;
        long exponent = 0;
        if (p < end && (*p == 'e' || *p == 'E')) {
            ++p;
            bool exponent_negative = false;
            if (p < end && (*p == '+' || *p == '-'))
                exponent_negative = *p++ == '-';
            if (p == end || !is_digit(*p))
                return false;
            for (; p < end && is_digit(*p); ++p)
                if (exponent < 100000)
                    exponent = exponent * 10 + (*p - '0');
            if (exponent_negative)
                exponent = -exponent;
        }
        // One correctly rounded operation on exact operands gives the
        // correctly rounded result, which is what strtod gives; anything
        // else goes to the library. Where doubles are computed in a wider
        // format (x87), the product would be rounded twice and could miss
        // by one unit, so there the library reads every number.
        const long e = exponent + scale;
        if (FLT_EVAL_METHOD == 0 && exact && m <= (std::uint64_t(1) << 53) && e >= -22 &&
            e <= 22) {
            double v = static_cast<double>(m);
            v = e < 0 ? v / exact_tens[-e] : v * exact_tens[e];
            out = negative ? -v : v;
            return true;
        }
        if (m == 0 && exact) {
            out = negative ? -0.0 : 0.0;
            return true;
        }
        double v;
        const std::from_chars_result r = std::from_chars(negative ? start : unsigned_start, p, v);
        if (r.ec != std::errc() || r.ptr != p) {
            const std::string text(start, p);
            v = std::strtod(text.c_str(), nullptr);
        }
        if (std::isinf(v))
            return false;
        out = v;
        return true;
    }

  private:
    const char *p;
    const char *const end;
};

bool is_word(const char *from, const char *to, const char *literal) {
    const std::size_t n = std::strlen(literal);
    return static_cast<std::size_t>(to - from) == n && std::memcmp(from, literal, n) == 0;
}

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
    std::vector<int> face_lines;
    std::vector<vertex_c> corners;

    const std::string text = read_all(in);
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
        line_reader words(line, eol);
        const char *key, *key_end;
        if (!words.word(key, key_end))
            continue; // empty or only white space
        if (is_word(key, key_end, "v")) {
            fcoord3d_s p;
            if (!words.read_double(p.x) || !words.read_double(p.y) || !words.read_double(p.z)) {
                std::cerr << "Syntax error in obj file: "
                          << "Vertex " << coords.size() + 1 << " is all bad on line " << lineno
                          << std::endl;
                std::abort();
            }
            p.w = 1.0;
            coords.push_back(p);
        } else if (is_word(key, key_end, "f")) {
            // A corner is an index, bare ("1") or followed directly by its
            // slash suffix ("1/2/3", "1//3", "1/2"), which is dropped.
            corners.clear();
            int index;
            while (words.read_int(index)) {
                if (!words.at_word_end())
                    words.skip_word();
                vertex_c v;
                if (index >= 1) {
                    v.pos = index - 1;
                } else {
                    const long long back = static_cast<long long>(coords.size()) + index;
                    v.pos = index < 0 && back >= 0 ? static_cast<int>(back) : -1;
                    if (v.pos < 0 && !any_bad) {
                        any_bad = true;
                        first_bad.line = lineno;
                        first_bad.index = index;
                        first_bad.before = coords.size();
                    }
                }
                v.normal = 0;
                corners.push_back(v);
            }
            if (corners.size() < 3) {
                std::cerr << "Polygon with <3 vertices!!\n";
                return fail();
            }
            polygons.emplace_back();
            polygons.back().vertices.assign(corners.begin(), corners.end());
            polygons.back().colour = 0x00FF00;
            face_lines.push_back(lineno);
        } else if (is_word(key, key_end, "#") || is_word(key, key_end, "vn") ||
                   is_word(key, key_end, "g") || is_word(key, key_end, "vp") ||
                   is_word(key, key_end, "vt") || is_word(key, key_end, "usemtl") ||
                   is_word(key, key_end, "mtllib")) {
        } else {
            std::cerr << "Unknown line in object file: ";
            std::cerr.write(line, eol - line) << std::endl;
        }
    }
    if (in.bad()) {
        std::cerr << "Error reading object file " << name << std::endl;
        return fail();
    }

    nvertices = static_cast<unsigned>(coords.size());
    for (std::size_t k = 0; k < polygons.size(); ++k)
        for (const vertex_c &v : polygons[k].vertices) {
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
            return fail();
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

    // Vertex normals: the mean direction of the faces that use the position,
    // in one pass over the corners. Each position's sum starts at zero and
    // takes the normals of its faces in face order, each face once however
    // often it lists the position: the same additions in the same order as
    // searching every face for each position. A position no face uses, or
    // whose faces cancel out, gets a zero normal (Gouraud shade 50); all the
    // corners at a position share its normal.
    const std::size_t first_normal = coords.size();
    coords.resize(first_normal + nvertices, fcoord3d_s{0, 0, 0, 0});
    fcoord3d_s *const sums = coords.data() + first_normal;
    std::vector<std::size_t> counted_for(nvertices, polygons.size()); // the last face added
    for (std::size_t k = 0; k < polygons.size(); ++k) {
        polygon3d_c &poly = polygons[k];
        const fcoord3d_s &n = coords[poly.normal];
        for (vertex_c &v : poly.vertices) {
            v.normal = static_cast<int>(first_normal) + v.pos;
            if (counted_for[v.pos] != k) {
                counted_for[v.pos] = k;
                vect4_translate(sums[v.pos], n, sums[v.pos]);
            }
        }
    }
    for (unsigned i = 0; i < nvertices; ++i) {
        if (has_direction(sums[i]))
            vect4_normalize(sums[i]);
        else
            sums[i] = fcoord3d_s{0, 0, 0, 0};
    }

    std::cout << " done (" << polygons.size() << " faces)" << std::endl;
    return true;
}

bool obj3d_c::load_fake() {
    return false;
}

} // namespace demo
