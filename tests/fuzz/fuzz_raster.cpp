// Fuzz target: polygon fill, outlines, lines, triangles and span writers with any corners and
// shades, into a frame padded with guard memory that must stay untouched.
//
// Input: operation, coordinate range, corner count, colour (4 bytes), then
// per corner a 4-byte column, a 4-byte row and a 2-byte shade.
#include "demo/2d/demo_2d.h"
#include "fuzz_support.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

namespace {

vorbo_fuzz::guarded_frame *frame;

enum operation {
    poly_flat,
    poly_gouraud,
    wireframe,
    line,
    triangle_flat,
    triangle_gouraud,
    span_flat,
    span_gouraud,
    operation_count
};

// Maps a raw coordinate into one of four ranges: anything an int holds,
// anything a short holds, a band a little wider than the frame, or the
// frame's own corners 0..640 / 0..480.
int coordinate(std::uint32_t raw, unsigned range, int extent) {
    switch (range & 3) {
    case 0:
        return static_cast<std::int32_t>(raw);
    case 1:
        return static_cast<std::int16_t>(raw);
    case 2:
        return static_cast<int>(raw % (extent + 81)) - 40;
    default:
        return static_cast<int>(raw % (extent + 1));
    }
}

// Every pixel that changed lies in the given box (clipped to the frame) and,
// when `colour` is given, holds it; the guards are untouched; the frame is
// cleared again.
void check_and_clear(long long left, long long top, long long right, long long bottom,
                     const unsigned *colour) {
    if (!frame->guards_intact())
        vorbo_fuzz::fail("drawing wrote outside the frame");
    for (int y = 0; y < 480; ++y) {
        if (!frame->row_drawn(y))
            continue;
        if (y < top || y > bottom)
            vorbo_fuzz::fail("drawing changed a row outside its corners' box");
        const unsigned *row = frame->row(y);
        for (int x = 0; x < 640; ++x) {
            if (row[x] == frame->background)
                continue;
            if (x < left || x > right)
                vorbo_fuzz::fail("drawing changed a pixel outside its corners' box");
            if (colour && row[x] != *colour)
                vorbo_fuzz::fail("a flat drawing wrote another colour");
        }
    }
    frame->clear();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    frame = new vorbo_fuzz::guarded_frame;
    frame->install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 7)
        return -1;
    const operation op = static_cast<operation>(data[0] % operation_count);
    const unsigned range = data[1];
    const unsigned count = data[2] % 17;
    const unsigned colour = vorbo_fuzz::u32_at(data, size, 3);

    std::vector<demo::coord2d_s> points(count);
    long long left = LLONG_MAX, top = LLONG_MAX, right = LLONG_MIN, bottom = LLONG_MIN;
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = 7 + i * 10;
        // Each corner may take its own range, so that wild corners meet tame ones.
        const unsigned corner_range = range >> (2 * (i % 4));
        points[i].x = coordinate(vorbo_fuzz::u32_at(data, size, at), corner_range, 640);
        points[i].y = coordinate(vorbo_fuzz::u32_at(data, size, at + 4), corner_range, 480);
        points[i].shade = vorbo_fuzz::s16_at(data, size, at + 8);
        left = std::min<long long>(left, points[i].x);
        right = std::max<long long>(right, points[i].x);
        top = std::min<long long>(top, points[i].y);
        bottom = std::max<long long>(bottom, points[i].y);
    }

    demo::polygon2d_c polygon;
    polygon.points = points;
    polygon.colour = colour;
    const unsigned *flat = &colour;
    switch (op) {
    case poly_flat:
        // Each row starts one column left of the polygon's left edge.
        demo::drawpoly2d<bool>(polygon);
        check_and_clear(left - 1, top, right, bottom, flat);
        break;
    case poly_gouraud:
        demo::drawpoly2d<demo::shade_t>(polygon);
        check_and_clear(left - 1, top, right, bottom, nullptr);
        break;
    case wireframe:
        demo::drawpoly2d_wireframe(polygon);
        check_and_clear(left, top, right, bottom, flat);
        break;
    case line:
        if (count >= 2) {
            demo::drawline2d_val(points[0].x, points[0].y, points[1].x, points[1].y, colour);
            const long long l = std::min(points[0].x, points[1].x),
                            r = std::max(points[0].x, points[1].x);
            const long long t = std::min(points[0].y, points[1].y),
                            b = std::max(points[0].y, points[1].y);
            check_and_clear(l, t, r, b, flat);
        }
        break;
    case triangle_flat:
    case triangle_gouraud:
        if (count >= 3) {
            demo::triangle2d_s triangle;
            for (int i = 0; i < 3; ++i)
                triangle.vertex[i] = points[i];
            triangle.colour = colour;
            long long l = LLONG_MAX, t = LLONG_MAX, r = LLONG_MIN, b = LLONG_MIN;
            for (int i = 0; i < 3; ++i) {
                l = std::min<long long>(l, points[i].x);
                r = std::max<long long>(r, points[i].x);
                t = std::min<long long>(t, points[i].y);
                b = std::max<long long>(b, points[i].y);
            }
            if (op == triangle_flat) {
                demo::drawtriangle2d_flat(triangle);
                check_and_clear(l, t, r, b, flat);
            } else {
                demo::drawtriangle2d_gourad(triangle);
                check_and_clear(l, t, r, b, nullptr);
            }
        }
        break;
    case span_flat:
    case span_gouraud:
        if (count >= 2) {
            // One run of row points[0].y between the two columns.
            const int c = points[0].y, xs = points[0].x, xe = points[1].x;
            if (op == span_flat) {
                const bool on = true;
                demo::draw_poly_line_rgba8888<bool>(c, xs, xe, on, on, colour);
                check_and_clear(xs, c, xe, c, flat);
            } else {
                const demo::shade_t ss = points[0].shade, se = points[1].shade;
                demo::draw_poly_line_rgba8888<demo::shade_t>(c, xs, xe, ss, se, colour);
                check_and_clear(std::min(xs, xe), c, std::max(xs, xe), c, nullptr);
            }
        }
        break;
    default:
        break;
    }
    return 0;
}
