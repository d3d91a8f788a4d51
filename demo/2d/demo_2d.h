// The 2D rasterizer: shades, the integer interpolator, span writers, triangles, polygons and lines.
#pragma once

#include <vector>

namespace demo {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// Intensity in 1/256 steps: 256 keeps a colour, 128 halves each colour byte,
// 0 makes it black. Not clamped: a scaled byte keeps the low 8 bits.
typedef int shade_t;

// A vertex in screen space: column x (0 at the left), row y (0 at the top),
// and its shade (read by the Gouraud operations only).
struct coord2d_s {
    int x = 0;
    int y = 0;
    shade_t shade = 0;
};

// Incremental integer interpolator: the k-th value produced (k from 0) is
// start + step * floor((2 * k * |end - start| + n) / (2 * n)), i.e. k/n of the
// way from start to end rounded to nearest, halves away from start. After n
// values the next one would be end. 0 to 10 over 4 gives 0, 3, 5, 8.
// An interpolator over n <= 0 steps keeps returning start.
template <typename T> class Interpolate_num {
  public:
    Interpolate_num(T start, T end, T n);

    // Returns the next value.
    T get();

    // Writes the next count values to out[0..count-1]; nothing when count <= 0.
    void getN(int count, T *out);

    // The error-term state. Held in 64 bits so that no pair of ints
    // overflows 2 * |end - start|.
    long long value;   // the value the next request returns
    long long step;    // +1 if end > start, else -1 (also when they are equal)
    long long err;     // the error term, first 2 * |end - start| - n
    long long err_dec; // 2 * n, taken from err for every unit step of value
    long long err_inc; // 2 * |end - start|, added to err once per value
};

// A triangle to fill: three corners in any order and its colour 0x00RRGGBB.
struct triangle2d_s {
    coord2d_s vertex[3];
    unsigned colour = 0;
};
typedef triangle2d_s triangle2d_t;

// A polygon to draw: corners in drawing order (each consecutive pair, and the
// last with the first, form an edge) and its colour 0x00RRGGBB.
class polygon2d_c {
  public:
    std::vector<coord2d_s> points;
    unsigned colour = 0;
};

// A line from (x1, y1) to (x2, y2) in colour 0x00RRGGBB.
struct line2d_s {
    int x1;
    int y1;
    int x2;
    int y2;
    unsigned colour;
};

// ---------------------------------------------------------------------------
// Span writers: one run of row c of the frame, through demo::frame_lines.
// ---------------------------------------------------------------------------

// T = bool: flat colour over the closed run [x_s, x_e]; nothing if x_e < x_s
// (ends are not exchanged). Shades are ignored. A row outside 0..479 is
// dropped and only the columns of the run inside 0..639 are written.
// T = shade_t: the half-open run [min, max) of the two ends, shaded from the
// shade of the left end towards that of the right end; each colour byte b
// becomes (b * s) >> 8 (low 8 bits), the top byte is kept. Checks
// "0<=c && 480>c", "x_s>=0 && x_s<640", "x_e>=0 && x_e<640" (after ordering
// the ends); a failed check is reported and the run is dropped.
template <typename T>
void draw_poly_line_rgba8888(int c, int x_s, int x_e, const T &shade_s, const T &shade_e,
                             unsigned colour);
template <>
void draw_poly_line_rgba8888<bool>(int c, int x_s, int x_e, const bool &shade_s,
                                   const bool &shade_e, unsigned colour);
template <>
void draw_poly_line_rgba8888<shade_t>(int c, int x_s, int x_e, const shade_t &shade_s,
                                      const shade_t &shade_e, unsigned colour);

// ---------------------------------------------------------------------------
// Triangles: rows from the top corner down to, not including, the bottom
// corner's row.
// ---------------------------------------------------------------------------

// Flat fill; each row is a line with both ends included. Corners must lie in
// columns 0..640 and rows 0..480, else a check such as
// "!((p[0]->y < 0) || (p[0]->y > 480))" is reported (index = place after
// ordering by y) and nothing is drawn. Column 640 is never written.
void drawtriangle2d_flat(const triangle2d_s &triangle);

// Gouraud fill; each row is a half-open shaded span. Corners outside columns
// 0..640 or rows 0..480 draw nothing and report nothing.
void drawtriangle2d_gourad(const triangle2d_s &triangle);

// ---------------------------------------------------------------------------
// Polygons and lines
// ---------------------------------------------------------------------------

// Scan-line fill: T = bool in the flat colour, T = shade_t scaled by the
// corners' shades. Each row starts one column left of the first chain (top
// corner forward in points order) unless that column is 0, and ends at the
// second chain. Fewer than 3 points, or all on one row, draw nothing. Refused
// with a check message: a column table entry outside 0..639
// ("ledge[c]>=0 && ledge[c]<640", "redge[c]>=0 && redge[c]<640"), a polygon
// not monotone in y, or one taller than max_poly_rows rows.
template <typename T> void drawpoly2d(const polygon2d_c &polygon);
extern template void drawpoly2d<bool>(const polygon2d_c &polygon);
extern template void drawpoly2d<shade_t>(const polygon2d_c &polygon);

// The tallest polygon the fill accepts (rows from top corner to bottom corner).
constexpr int max_poly_rows = 2048;

// Open outline: lines from each point to the next, none from the last back
// to the first. Fewer than 3 points draw nothing.
void drawpoly2d_wireframe(const polygon2d_c &polygon);

// A horizontal line covers both ends; any other line covers max(|dx|, |dy|)
// pixels from its start point, never its end point. Pixels outside the frame
// are skipped.
void drawline2d(const line2d_s &line);
void drawline2d_val(int x1, int y1, int x2, int y2, unsigned colour);

// ---------------------------------------------------------------------------
// Interpolate_num, defined here so the rasterizer's loops can inline it.
// ---------------------------------------------------------------------------

template <typename T> Interpolate_num<T>::Interpolate_num(T start, T end, T n) {
    const long long s = start, e = end, distance = e > s ? e - s : s - e;
    value = s;
    step = e > s ? 1 : -1;
    err = 2 * distance - n;
    err_dec = 2 * static_cast<long long>(n);
    err_inc = 2 * distance;
}

template <typename T> inline T Interpolate_num<T>::get() {
    const T result = static_cast<T>(value);
    // While err >= 0, value moves one unit and err loses err_dec. The number
    // of such steps is worked out at once, so a value that moves many units
    // (|end - start| > n) costs no more than one that moves one. Over 0 steps
    // (err_dec <= 0) the value stays at start instead of stepping for ever.
    if (err >= 0 && err_dec > 0) {
        if (err < err_dec) {
            value += step;
            err -= err_dec;
        } else {
            const long long units = err / err_dec + 1;
            value += step * units;
            err -= units * err_dec;
        }
    }
    err += err_inc;
    return result;
}

template <typename T> inline void Interpolate_num<T>::getN(int count, T *out) {
    if (count <= 0)
        return;
    // The constructor leaves, and get() keeps, err_inc - err_dec <= err <
    // err_inc (with err_dec > 0 and err_inc >= 0). In that state r = err -
    // err_inc + err_dec lies in [0, err_dec), and one get() moves value by
    // floor((r + err_inc) / err_dec) units and leaves r = (r + err_inc) mod
    // err_dec: a fixed whole number of units plus a carry, with no division
    // per value. Any other state takes get() one value at a time. The bound
    // keeps r + err_inc from overflowing.
    const long long limit = 1LL << 61;
    if (err_dec <= 0 || err_dec >= limit || err_inc < 0 || err_inc >= limit ||
        err < err_inc - err_dec || err >= err_inc) {
        for (int i = 0; i < count; ++i)
            out[i] = get();
        return;
    }
    long long whole = 0, part = err_inc;
    if (err_inc >= err_dec) {
        // A 32-bit division, the quicker one, where both fit 32 bits.
        if (err_inc <= 0xffffffffLL)
            whole = static_cast<unsigned>(err_inc) / static_cast<unsigned>(err_dec);
        else
            whole = err_inc / err_dec;
        part = err_inc - whole * err_dec;
    }
    const long long advance = step * whole;
    long long v = value, r = err - err_inc + err_dec;
    for (int i = 0; i < count; ++i) {
        out[i] = static_cast<T>(v);
        r += part;
        const bool carry = r >= err_dec;
        r -= carry ? err_dec : 0;
        v += advance + (carry ? step : 0);
    }
    value = v;
    err = r + err_inc - err_dec;
}

} // namespace demo
