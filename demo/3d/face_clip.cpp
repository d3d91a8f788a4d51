// Faces cut to the viewer's near plane and the frame's edges, and faces filled in pieces.
#include "demo/3d/face_clip.h"

#include "demo/demo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace demo {

namespace {

// ---------------------------------------------------------------------------
// Pieces the row fill takes
// ---------------------------------------------------------------------------

// Twice the signed area of the triangle o, a, b (positive when it turns one
// way on screen, negative the other). Corners inside the frame keep every
// product far inside 64 bits.
long long turn(const coord2d_s &o, const coord2d_s &a, const coord2d_s &b) {
    return static_cast<long long>(a.x - o.x) * (b.y - o.y) -
           static_cast<long long>(a.y - o.y) * (b.x - o.x);
}

int sign_of(long long v) {
    return (v > 0) - (v < 0);
}

// Faces with more corners than this that are not monotone are filled as a
// fan from their first corner instead of being searched for crossings and
// ears (which costs the cube of the corner count). Real faces have a handful.
constexpr std::size_t max_searched_corners = 64;

template <typename T> void fill_piece(const std::vector<coord2d_s> &points, unsigned colour) {
    polygon2d_c piece;
    piece.points = points;
    piece.colour = colour;
    drawpoly2d<T>(piece);
}

template <typename T>
void fill_triangle(const coord2d_s &a, const coord2d_s &b, const coord2d_s &c, unsigned colour) {
    fill_piece<T>({a, b, c}, colour);
}

// The first pair of edges i < j, not next to each other, that cross at a
// point inside both; false when the loop crosses itself nowhere.
bool find_crossing(const std::vector<coord2d_s> &p, std::size_t &i, std::size_t &j) {
    const std::size_t n = p.size();
    for (i = 0; i + 2 < n; ++i)
        for (j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1)
                continue; // they share corner 0
            const coord2d_s &a = p[i], &b = p[i + 1], &c = p[j], &d = p[(j + 1) % n];
            if (sign_of(turn(a, b, c)) * sign_of(turn(a, b, d)) < 0 &&
                sign_of(turn(c, d, a)) * sign_of(turn(c, d, b)) < 0)
                return true;
        }
    return false;
}

// Where edge a-b crosses edge c-d, rounded to the nearest pixel (which stays
// between the corners, so inside the frame), with the shade interpolated
// along a-b.
coord2d_s crossing_point(const coord2d_s &a, const coord2d_s &b, const coord2d_s &c,
                         const coord2d_s &d) {
    const double ex = b.x - a.x, ey = b.y - a.y, fx = d.x - c.x, fy = d.y - c.y;
    const double t = ((c.x - a.x) * fy - (c.y - a.y) * fx) / (ex * fy - ey * fx);
    coord2d_s x;
    x.x = static_cast<int>(std::lround(a.x + t * ex));
    x.y = static_cast<int>(std::lround(a.y + t * ey));
    x.shade = static_cast<shade_t>(std::lround(a.shade + t * (b.shade - a.shade)));
    return x;
}

// True when q lies inside the triangle a, b, c or on its edges.
bool inside_triangle(const coord2d_s &q, const coord2d_s &a, const coord2d_s &b, const coord2d_s &c,
                     int winding) {
    return sign_of(turn(a, b, q)) * winding >= 0 && sign_of(turn(b, c, q)) * winding >= 0 &&
           sign_of(turn(c, a, q)) * winding >= 0;
}

bool same_place(const coord2d_s &a, const coord2d_s &b) {
    return a.x == b.x && a.y == b.y;
}

// Cuts ears off a loop that does not cross itself until what is left is
// monotone: an ear is a corner that turns the loop's way with no other corner
// in its triangle. A loop without area draws nothing; one where rounding
// left no clean ear loses its first corner that turns the loop's way (or its
// first corner), so the cutting always ends.
template <typename T> void fill_by_ears(std::vector<coord2d_s> loop, unsigned colour) {
    long long area = 0;
    for (std::size_t k = 0; k < loop.size(); ++k)
        area += turn(loop[0], loop[k], loop[(k + 1) % loop.size()]);
    const int winding = sign_of(area);
    if (winding == 0)
        return;
    while (loop.size() > 3 && !monotone_in_y(loop)) {
        const std::size_t n = loop.size();
        std::size_t cut = n, convex = n;
        for (std::size_t k = 0; k < n && cut == n; ++k) {
            const coord2d_s &a = loop[(k + n - 1) % n], &b = loop[k], &c = loop[(k + 1) % n];
            if (sign_of(turn(a, b, c)) != winding)
                continue;
            if (convex == n)
                convex = k;
            bool empty = true;
            for (std::size_t q = 0; q < n && empty; ++q) {
                const coord2d_s &p = loop[q];
                if (!same_place(p, a) && !same_place(p, b) && !same_place(p, c))
                    empty = !inside_triangle(p, a, b, c, winding);
            }
            if (empty)
                cut = k;
        }
        if (cut == n)
            cut = convex == n ? 0 : convex;
        fill_triangle<T>(loop[(cut + n - 1) % n], loop[cut], loop[(cut + 1) % n], colour);
        loop.erase(loop.begin() + static_cast<std::ptrdiff_t>(cut));
    }
    fill_piece<T>(loop, colour);
}

// A loop that is not monotone: each self-crossing splits it into the two
// loops the crossing closes, both running the same way as before (so each
// lobe keeps its own winding), and a loop that does not cross itself is cut
// into ears. Both loops of a split are smaller than the loop split, so the
// splitting ends.
template <typename T> void fill_pieces(const std::vector<coord2d_s> &loop, unsigned colour) {
    if (loop.size() < 3)
        return;
    if (monotone_in_y(loop)) {
        fill_piece<T>(loop, colour);
        return;
    }
    if (loop.size() > max_searched_corners) {
        for (std::size_t k = 1; k + 1 < loop.size(); ++k)
            fill_triangle<T>(loop[0], loop[k], loop[k + 1], colour);
        return;
    }
    std::size_t i, j;
    if (!find_crossing(loop, i, j)) {
        fill_by_ears<T>(loop, colour);
        return;
    }
    const std::size_t n = loop.size();
    const coord2d_s x = crossing_point(loop[i], loop[i + 1], loop[j], loop[(j + 1) % n]);
    std::vector<coord2d_s> first(loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(i + 1));
    first.push_back(x);
    first.insert(first.end(), loop.begin() + static_cast<std::ptrdiff_t>(j + 1), loop.end());
    std::vector<coord2d_s> second = {x};
    second.insert(second.end(), loop.begin() + static_cast<std::ptrdiff_t>(i + 1),
                  loop.begin() + static_cast<std::ptrdiff_t>(j + 1));
    fill_pieces<T>(first, colour);
    fill_pieces<T>(second, colour);
}

// ---------------------------------------------------------------------------
// Cutting
// ---------------------------------------------------------------------------

// A corner projected but not yet rounded: screen column and row, and shade.
struct screen_corner {
    double x, y, shade;
};

double lerp(double a, double b, double t) {
    return a + t * (b - a);
}

// One pass of polygon cutting (Sutherland-Hodgman): keeps the part of the
// loop where side(corner) >= 0, corners in order, and puts a cut point where
// an edge crosses side = 0, made by cut(a, b, t) at the fraction t from a
// to b.
template <typename C, typename Side, typename Cut>
void cut_loop(const std::vector<C> &in, std::vector<C> &out, Side side, Cut cut) {
    out.clear();
    const std::size_t n = in.size();
    for (std::size_t k = 0; k < n; ++k) {
        const C &a = in[k], &b = in[(k + 1) % n];
        const double da = side(a), db = side(b);
        if (da >= 0)
            out.push_back(a);
        if ((da >= 0) != (db >= 0))
            out.push_back(cut(a, b, da / (da - db)));
    }
}

bool finite(double v) {
    return std::isfinite(v);
}

// The screen position of a world point at depth near_depth or more.
screen_corner screen_of(const clip_corner &p) {
    const double f = 500.0 / (p.y + 50.0);
    return screen_corner{p.x * f + frame_centre_x, frame_centre_y - p.z * f, p.shade};
}

// A column or row of a cut polygon as a pixel: truncated toward zero, as the
// projection truncates, and held inside the frame (a corner on the frame's
// far edge belongs to its last pixel).
int pixel_of(double v, int size) {
    const int p = static_cast<int>(v);
    return p < 0 ? 0 : p >= size ? size - 1 : p;
}

clip_corner cut_at_near(const clip_corner &a, const clip_corner &b, double t) {
    return clip_corner{lerp(a.x, b.x, t), near_depth - 50.0, lerp(a.z, b.z, t),
                       lerp(a.shade, b.shade, t)};
}

} // namespace

bool monotone_in_y(const std::vector<coord2d_s> &points) {
    // Going once round, y climbs from the lowest to the highest row and falls
    // back: the rises and falls add up to twice the height exactly when
    // neither chain turns back.
    const std::size_t n = points.size();
    if (n <= 3) // a triangle always is
        return true;
    long long low = points[0].y, high = points[0].y, travel = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const long long y = points[k].y, next = points[k + 1 == n ? 0 : k + 1].y;
        low = std::min(low, y);
        high = std::max(high, y);
        travel += next > y ? next - y : y - next;
    }
    return travel == 2 * (high - low);
}

template <typename T> void fill_inside(const polygon2d_c &polygon) {
    if (monotone_in_y(polygon.points))
        drawpoly2d<T>(polygon);
    else
        fill_pieces<T>(polygon.points, polygon.colour);
}

template <typename T> void fill_clipped(const std::vector<clip_corner> &corners, unsigned colour) {
    for (const clip_corner &c : corners)
        if (!finite(c.x) || !finite(c.y) || !finite(c.z) || !finite(c.shade))
            return;

    thread_local std::vector<clip_corner> in_front;
    cut_loop(
        corners, in_front, [](const clip_corner &c) { return c.y + 50.0 - near_depth; },
        cut_at_near);
    if (in_front.size() < 3)
        return;

    thread_local std::vector<screen_corner> screen, cut;
    screen.clear();
    for (const clip_corner &c : in_front)
        screen.push_back(screen_of(c));
    // The frame's four edges; a cut point lies on its edge exactly.
    const double width = frame_width, height = frame_height;
    auto cut_x = [](double edge) {
        return [edge](const screen_corner &a, const screen_corner &b, double t) {
            return screen_corner{edge, lerp(a.y, b.y, t), lerp(a.shade, b.shade, t)};
        };
    };
    auto cut_y = [](double edge) {
        return [edge](const screen_corner &a, const screen_corner &b, double t) {
            return screen_corner{lerp(a.x, b.x, t), edge, lerp(a.shade, b.shade, t)};
        };
    };
    cut_loop(
        screen, cut, [](const screen_corner &c) { return c.x; }, cut_x(0));
    cut_loop(
        cut, screen, [width](const screen_corner &c) { return width - c.x; }, cut_x(width));
    cut_loop(
        screen, cut, [](const screen_corner &c) { return c.y; }, cut_y(0));
    cut_loop(
        cut, screen, [height](const screen_corner &c) { return height - c.y; }, cut_y(height));
    if (screen.size() < 3)
        return;

    thread_local polygon2d_c face;
    face.points.clear();
    for (const screen_corner &c : screen) {
        // Numbers too large for the arithmetic above end up here as
        // infinities or NaN: such a face has no picture.
        if (!finite(c.x) || !finite(c.y) || !finite(c.shade))
            return;
        coord2d_s p;
        p.x = pixel_of(c.x, frame_width);
        p.y = pixel_of(c.y, frame_height);
        p.shade = static_cast<shade_t>(std::floor(c.shade + 0.5));
        face.points.push_back(p);
    }
    face.colour = colour;
    fill_inside<T>(face);
}

void drawline_clipped(const fcoord3d_s &a, const fcoord3d_s &b, unsigned colour) {
    clip_corner p = {a.x, a.y, a.z, 0}, q = {b.x, b.y, b.z, 0};
    for (const clip_corner &c : {p, q})
        if (!finite(c.x) || !finite(c.y) || !finite(c.z))
            return;
    const double dp = p.y + 50.0 - near_depth, dq = q.y + 50.0 - near_depth;
    if (dp < 0 && dq < 0)
        return;
    if (dp < 0)
        p = cut_at_near(p, q, dp / (dp - dq));
    else if (dq < 0)
        q = cut_at_near(p, q, dp / (dp - dq));

    // Liang-Barsky: the part of s + t (e - s), t in [0, 1], inside the
    // frame's pixel centres' box.
    const screen_corner s = screen_of(p), e = screen_of(q);
    const double dx = e.x - s.x, dy = e.y - s.y;
    double t0 = 0, t1 = 1;
    auto keep = [&t0, &t1](double denominator, double numerator) {
        // The part where denominator * t <= numerator.
        if (denominator == 0)
            return numerator >= 0;
        const double t = numerator / denominator;
        if (denominator < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        return t0 <= t1;
    };
    const double right = frame_width - 1, bottom = frame_height - 1;
    if (!keep(-dx, s.x) || !keep(dx, right - s.x) || !keep(-dy, s.y) || !keep(dy, bottom - s.y))
        return;
    const double x0 = s.x + t0 * dx, y0 = s.y + t0 * dy, x1 = s.x + t1 * dx, y1 = s.y + t1 * dy;
    if (!finite(x0) || !finite(y0) || !finite(x1) || !finite(y1))
        return;
    drawline2d_val(pixel_of(x0, frame_width), pixel_of(y0, frame_height), pixel_of(x1, frame_width),
                   pixel_of(y1, frame_height), colour);
}

template void fill_inside<bool>(const polygon2d_c &polygon);
template void fill_inside<shade_t>(const polygon2d_c &polygon);
template void fill_clipped<bool>(const std::vector<clip_corner> &corners, unsigned colour);
template void fill_clipped<shade_t>(const std::vector<clip_corner> &corners, unsigned colour);

} // namespace demo
