// The 2D rasterizer: span writers, scan-line polygon fill, lines and triangles into the frame.
#include "demo/2d/demo_2d.h"

#include "demo/2d/spans.h"
#include "demo/check.h"
#include "demo/demo.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace demo {

namespace {

// The rasterizer's limits are the frame's fixed size; the texts of its checks
// spell the numbers out, as they are reported.
static_assert(frame_width == 640 && frame_height == 480, "the checks name the frame's size");

// The pixel loops behind the span writers, chosen once at build time.
// A shaded run's colour is made ready (shade_colour) once per polygon.
#if defined(VORBO_SIMD) && VORBO_SIMD && defined(__SSE2__)
inline void fill_pixels(unsigned *dst, int count, unsigned colour) {
    spans::fill_sse2(dst, count, colour);
}
constexpr int edge_slack = 3; // room past an edge's values for the vector writer
inline void fixed_point_edge(int from, int to, int count, int *out) {
    spans::fixed_point_values_sse2(from, to, count, out);
}
typedef spans::shade_colour_sse2 shade_colour;
inline void shade_pixels(unsigned *dst, int count, int s_start, int s_end,
                         const shade_colour &colour) {
    spans::shade_run_sse2(dst, count, s_start, s_end, colour);
}
#else
inline void fill_pixels(unsigned *dst, int count, unsigned colour) {
    spans::fill_scalar(dst, count, colour);
}
constexpr int edge_slack = 0;
inline void fixed_point_edge(int from, int to, int count, int *out) {
    spans::fixed_point_values(from, to, count, out);
}
struct shade_colour {
    unsigned colour;
    explicit shade_colour(unsigned colour) : colour(colour) {}
};
inline void shade_pixels(unsigned *dst, int count, int s_start, int s_end,
                         const shade_colour &colour) {
    spans::shade_run_scalar(dst, count, s_start, s_end, colour.colour);
}
#endif

// Fills row y from column x_s to x_e, both included, keeping only the part
// inside the frame: nothing is moved into the frame that lay outside it. A
// run given right to left (x_e < x_s) still has x_e < x_s after clipping, so
// it draws nothing.
inline void fill_row_clipped(int y, int x_s, int x_e, unsigned colour) {
    if (y < 0 || y >= frame_height)
        return;
    x_s = std::max(x_s, 0);
    x_e = std::min(x_e, frame_width - 1);
    if (x_e < x_s)
        return;
    fill_pixels(frame_lines[y] + x_s, x_e - x_s + 1, colour);
}

} // namespace

// ---------------------------------------------------------------------------
// Span writers
// ---------------------------------------------------------------------------

template <>
void draw_poly_line_rgba8888<bool>(int c, int x_s, int x_e, const bool &, const bool &,
                                   unsigned colour) {
    // A run given right to left draws nothing; the ends are not exchanged.
    fill_row_clipped(c, x_s, x_e, colour);
}

template <>
void draw_poly_line_rgba8888<shade_t>(int c, int x_s, int x_e, const shade_t &shade_s,
                                      const shade_t &shade_e, unsigned colour) {
    shade_t s_s = shade_s;
    shade_t s_e = shade_e;
    if (x_e < x_s) {
        std::swap(x_s, x_e);
        std::swap(s_s, s_e);
    }
    // clang-format off
    DEMO_CHECK(0<=c && 480>c);
    DEMO_CHECK(x_s>=0 && x_s<640);
    DEMO_CHECK(x_e>=0 && x_e<640);
    // clang-format on

    // The run is half-open, so at most 639 pixels (the scalar twin steps its
    // shades through a scratch row of the frame's width).
    const int n = x_e - x_s;
    shade_pixels(frame_lines[c] + x_s, n, s_s, s_e, shade_colour(colour));
}

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

void drawline2d(const line2d_s &line) {
    const unsigned colour = line.colour;
    if (line.y1 == line.y2) {
        fill_row_clipped(line.y1, std::min(line.x1, line.x2), std::max(line.x1, line.x2), colour);
        return;
    }

    // Differences in 64 bits: any two ints are at most 2^32 - 1 apart.
    const long long dx = static_cast<long long>(line.x2) - line.x1;
    const long long dy = static_cast<long long>(line.y2) - line.y1;
    const long long adx = dx < 0 ? -dx : dx;
    const long long ady = dy < 0 ? -dy : dy;
    const bool y_major = ady > adx; // equal lengths step along x
    const long long major_len = y_major ? ady : adx;
    const long long minor_len = y_major ? adx : ady;
    const long long major_step = (y_major ? dy : dx) > 0 ? 1 : -1;
    const long long minor_step = (y_major ? dx : dy) > 0 ? 1 : -1;
    const long long major0 = y_major ? line.y1 : line.x1;
    const long long minor0 = y_major ? line.x1 : line.y1;
    const long long major_limit = y_major ? frame_height : frame_width;
    const long long minor_limit = y_major ? frame_width : frame_height;

    // Pixel k (0 <= k < major_len) sits at major0 + major_step * k. Only the
    // k whose major coordinate is inside the frame can plot anything, so the
    // walk covers at most one row or column's worth of pixels, however far
    // outside the frame the line starts or ends.
    long long k_first, k_last;
    if (major_step > 0) {
        k_first = std::max(0LL, -major0);
        k_last = std::min(major_len - 1, major_limit - 1 - major0);
    } else {
        k_first = std::max(0LL, major0 - (major_limit - 1));
        k_last = std::min(major_len - 1, major0);
    }
    if (k_first > k_last)
        return;

    // The stepping below (plot; while err >= 0 move the minor coordinate and
    // take 2L from err; add 2m to err) puts pixel k at minor offset
    // q = floor((2km + L) / 2L) with err = 2m - 2L + ((2km + L) mod 2L) just
    // before it is plotted. Jump straight to k_first. 2km + L needs up to 66
    // bits, but km alone fits 64 unsigned bits (k < L < 2^32, m <= L): with
    // km = aL + b (0 <= b < L), 2km + L = 2L * a + (2b + L), and 2b + L < 3L.
    const unsigned long long km =
        static_cast<unsigned long long>(k_first) * static_cast<unsigned long long>(minor_len);
    const unsigned long long L = static_cast<unsigned long long>(major_len);
    const unsigned long long a = km / L, low = 2 * (km % L) + L;
    const long long q = static_cast<long long>(a + low / (2 * L));
    const long long r = static_cast<long long>(low % (2 * L));
    long long err = 2 * minor_len - 2 * major_len + r;
    long long minor = minor0 + minor_step * q;
    long long major = major0 + major_step * k_first;

    for (long long k = k_first; k <= k_last; ++k) {
        if (minor >= 0 && minor < minor_limit) {
            if (y_major)
                frame_lines[major][minor] = colour;
            else
                frame_lines[minor][major] = colour;
        }
        while (err >= 0) {
            minor += minor_step;
            err -= 2 * major_len;
        }
        err += 2 * minor_len;
        major += major_step;
    }
}

void drawline2d_val(int x1, int y1, int x2, int y2, unsigned colour) {
    const line2d_s line = {x1, y1, x2, y2, colour};
    drawline2d(line);
}

void drawpoly2d_wireframe(const polygon2d_c &polygon) {
    const std::vector<coord2d_s> &points = polygon.points;
    if (points.size() < 3)
        return;
    for (std::size_t i = 1; i < points.size(); ++i)
        drawline2d_val(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, polygon.colour);
}

// ---------------------------------------------------------------------------
// Polygon fill
// ---------------------------------------------------------------------------

namespace {

// The values of one edge: Interpolate_num<int>(from, to, count).getN(count,
// out), in fixed point for edges of up to 1024 rows (no carry from row to
// row). out must have room for edge_slack values more, which the next edge
// overwrites or no row reads.
inline void edge_values(int from, int to, int count, int *out) {
    if (count <= 0) // a horizontal edge inside a chain gives no rows
        return;
    if (count <= spans::fixed_point_max_run)
        fixed_point_edge(from, to, count, out);
    else
        Interpolate_num<int>(from, to, count).getN(count, out);
}

// Shade values of one edge. A flat fill has no shades: it neither fills
// nor reads a shade table.
inline void edge_shades(const coord2d_s &, const coord2d_s &, int, bool *) {}
inline void edge_shades(const coord2d_s &from, const coord2d_s &to, int count, shade_t *out) {
    edge_values(from.shade, to.shade, count, out);
}

// The shade tables of a fill: rows entries for T = shade_t, none for bool.
template <typename T> struct shade_tables {
    T left[max_poly_rows + edge_slack], right[max_poly_rows + edge_slack];
    T *chain(bool second) { return second ? right : left; }
    T at_left(int c) const { return left[c]; }
    T at_right(int c) const { return right[c]; }
};
template <> struct shade_tables<bool> {
    bool *chain(bool) { return nullptr; }
    bool at_left(int) const { return false; }
    bool at_right(int) const { return false; }
};

// The rows of a polygon whose column tables passed their checks, so both
// ends of every row lie in 0..639. A flat row is the flat span writer itself
// (straight to the pixel loop when every row lies in the frame); a shaded row
// inside the frame goes straight to the pixel loop, and one outside it to the
// span writer, which reports its row check.
template <typename T> struct polygon_rows;
template <> struct polygon_rows<bool> {
    unsigned colour;
    bool rows_inside;
    polygon_rows(unsigned colour, int top_y, int bottom_y)
        : colour(colour), rows_inside(top_y >= 0 && bottom_y < frame_height) {}
    void draw(int y, int x_s, int x_e, bool, bool) const {
        if (!rows_inside) {
            fill_row_clipped(y, x_s, x_e, colour);
            return;
        }
        if (x_e >= x_s)
            fill_pixels(frame_lines[y] + x_s, x_e - x_s + 1, colour);
    }
};
template <> struct polygon_rows<shade_t> {
    unsigned colour;
    shade_colour ready;
    polygon_rows(unsigned colour, int, int) : colour(colour), ready(colour) {}
    void draw(int y, int x_s, int x_e, shade_t s_s, shade_t s_e) const {
        if (y < 0 || y >= frame_height) {
            draw_poly_line_rgba8888<shade_t>(y, x_s, x_e, s_s, s_e, colour);
            return;
        }
        if (x_e < x_s) {
            std::swap(x_s, x_e);
            std::swap(s_s, s_e);
        }
        shade_pixels(frame_lines[y] + x_s, x_e - x_s, s_s, s_e, ready);
    }
};

} // namespace

template <typename T> void drawpoly2d(const polygon2d_c &polygon) {
    const std::vector<coord2d_s> &points = polygon.points;
    const std::size_t n = points.size();
    if (n < 3)
        return;

    // Top and bottom corners: the first index with the smallest and with the
    // largest y. Every column table entry lies between two corners' columns,
    // so corners within 0..639 leave nothing for the column checks to find.
    std::size_t top = 0, bottom = 0;
    int x_min = points[0].x, x_max = points[0].x;
    for (std::size_t i = 1; i < n; ++i) {
        if (points[i].y < points[top].y)
            top = i;
        if (points[i].y > points[bottom].y)
            bottom = i;
        x_min = std::min(x_min, points[i].x);
        x_max = std::max(x_max, points[i].x);
    }
    if (points[top].y == points[bottom].y)
        return;

    // In 64 bits: the corners may be any ints.
    const long long rows = static_cast<long long>(points[bottom].y) - points[top].y + 1;
    DEMO_CHECK(rows <= max_poly_rows);

    // ledge/lshade run from the top row down along the chain from the top
    // corner forward through points; redge/rshade run from the bottom row up
    // along the chain from the bottom corner forward (wrapping) to the top.
    int ledge[max_poly_rows + edge_slack], redge[max_poly_rows + edge_slack];
    shade_tables<T> shades;

    int *edge = ledge;
    T *shade = shades.chain(false);
    long long chain_rows = 0; // entries written into the current chain's tables
    std::size_t cur = top;
    do {
        const std::size_t next = cur + 1 == n ? 0 : cur + 1;
        if (cur == bottom) {
            edge = redge;
            shade = shades.chain(true);
            chain_rows = 0;
        }
        // Each edge gives one entry per row from its start corner's row up
        // to its end corner's row; the last edge of a chain also gives the
        // end corner's row, so it is stretched by one and its last entry
        // stops one step short of the end corner.
        long long dy = static_cast<long long>(points[next].y) - points[cur].y;
        dy = dy < 0 ? -dy : dy;
        if (next == bottom || next == top)
            ++dy;
        // A chain whose y turns back covers more rows than the polygon has:
        // such a polygon is not monotone in y and cannot be filled by rows.
        DEMO_CHECK(chain_rows + dy <= rows);
        const int count = static_cast<int>(dy);
        edge_values(points[cur].x, points[next].x, count, edge + chain_rows);
        edge_shades(points[cur], points[next], count, shade ? shade + chain_rows : nullptr);
        chain_rows += dy;
        cur = next;
    } while (cur != top);
    // Both chains now hold exactly rows entries: each spans rows - 1 rows of
    // y at least, plus the stretched last edge, and the check allowed no more.

    if (x_min < 0 || x_max >= frame_width) {
        for (int c = 0; c < rows; ++c) {
            // clang-format off
            DEMO_CHECK(ledge[c]>=0 && ledge[c]<640);
            DEMO_CHECK(redge[c]>=0 && redge[c]<640);
            // clang-format on
        }
    }

    // Every row starts one column left of the first chain (column 0 stays
    // 0). The flat writer fills [x_s, x_e] and skips rows given right to
    // left; the Gouraud writer orders the ends and fills [x_s, x_e).
    const int top_y = points[top].y;
    const polygon_rows<T> row(polygon.colour, top_y, points[bottom].y);
    for (int c = 0; c < rows; ++c) {
        const int x_s = ledge[c] == 0 ? 0 : ledge[c] - 1;
        const int x_e = redge[rows - 1 - c];
        row.draw(top_y + c, x_s, x_e, shades.at_left(c), shades.at_right(rows - 1 - c));
    }
}

template void drawpoly2d<bool>(const polygon2d_c &polygon);
template void drawpoly2d<shade_t>(const polygon2d_c &polygon);

// ---------------------------------------------------------------------------
// Triangles
// ---------------------------------------------------------------------------

namespace {

// Orders the corners by rising y with the exchange procedure (for each i,
// for each j, exchange when p[i] is above p[j]). Corners of equal y keep the
// order this procedure leaves, which the check messages' indices reflect.
void order_corners(const triangle2d_s &triangle, const coord2d_s *p[3]) {
    for (int i = 0; i < 3; ++i)
        p[i] = &triangle.vertex[i];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (p[i]->y < p[j]->y)
                std::swap(p[i], p[j]);
}

// One edge of a triangle, walked downwards one row at a time.
struct tri_edge {
    Interpolate_num<int> x;
    Interpolate_num<int> shade;
    tri_edge(const coord2d_s &upper, const coord2d_s &lower)
        : x(upper.x, lower.x, lower.y - upper.y),
          shade(upper.shade, lower.shade, lower.y - upper.y) {}
};

// Walks the rows of a triangle whose corners are ordered by y and lie inside
// columns 0..640 and rows 0..480, calling row(y, xa, sa, xb, sb) for rows
// y0 to y2 - 1. The bottom row is never drawn.
template <typename Row> void walk_triangle(const coord2d_s *const p[3], Row row) {
    const int y0 = p[0]->y, y1 = p[1]->y, y2 = p[2]->y;
    if (y0 == y1) { // flat top (also all three on one row: no rows)
        tri_edge a(*p[0], *p[2]), b(*p[1], *p[2]);
        for (int y = y0; y < y2; ++y)
            row(y, a.x.get(), a.shade.get(), b.x.get(), b.shade.get());
    } else if (y1 == y2) { // flat bottom
        tri_edge a(*p[0], *p[1]), b(*p[0], *p[2]);
        for (int y = y0; y < y2; ++y)
            row(y, a.x.get(), a.shade.get(), b.x.get(), b.shade.get());
    } else { // the long edge carries on from the upper part into the lower
        tri_edge longer(*p[0], *p[2]), upper(*p[0], *p[1]), lower(*p[1], *p[2]);
        for (int y = y0; y < y1; ++y)
            row(y, upper.x.get(), upper.shade.get(), longer.x.get(), longer.shade.get());
        for (int y = y1; y < y2; ++y)
            row(y, lower.x.get(), lower.shade.get(), longer.x.get(), longer.shade.get());
    }
}

} // namespace

void drawtriangle2d_flat(const triangle2d_s &triangle) {
    const coord2d_s *p[3];
    order_corners(triangle, p);
    // clang-format off
    DEMO_CHECK(!((p[0]->y < 0) || (p[0]->y > 480)));
    DEMO_CHECK(!((p[1]->y < 0) || (p[1]->y > 480)));
    DEMO_CHECK(!((p[2]->y < 0) || (p[2]->y > 480)));
    DEMO_CHECK(!((p[0]->x < 0) || (p[0]->x > 640)));
    DEMO_CHECK(!((p[1]->x < 0) || (p[1]->x > 640)));
    DEMO_CHECK(!((p[2]->x < 0) || (p[2]->x > 640)));
    // clang-format on
    // Corners may sit on column 640, one past the last; the row line skips
    // that column, so it is accepted but never written.
    const unsigned colour = triangle.colour;
    walk_triangle(
        p, [colour](int y, int xa, int, int xb, int) { drawline2d_val(xa, y, xb, y, colour); });
}

void drawtriangle2d_gourad(const triangle2d_s &triangle) {
    const coord2d_s *p[3];
    order_corners(triangle, p);
    for (int i = 0; i < 3; ++i)
        if (p[i]->y < 0 || p[i]->y > frame_height)
            return;
    for (int i = 0; i < 3; ++i)
        if (p[i]->x < 0 || p[i]->x > frame_width)
            return;
    const unsigned colour = triangle.colour;
    walk_triangle(p, [colour](int y, int xa, int sa, int xb, int sb) {
        draw_poly_line_rgba8888<shade_t>(y, xa, xb, sa, sb, colour);
    });
}

} // namespace demo
