// Faces cut to the viewer's near plane and the frame's edges, and faces filled in pieces.
#include "demo/3d/face_clip.h"

#include "demo/demo.h"

#include <algorithm>
#include <cmath>

namespace demo {

namespace {

// ---------------------------------------------------------------------------
// Pieces the row fill takes
// ---------------------------------------------------------------------------

template <typename T> void fill_piece(const std::vector<coord2d_s> &points, unsigned colour) {
    thread_local polygon2d_c piece;
    piece.points = points;
    piece.colour = colour;
    drawpoly2d<T>(piece);
}

// Where edge a-b meets row y (between its corners' rows), with the shade
// interpolated along it as the fill interpolates it: rounded to the nearest
// pixel, which stays between the corners.
coord2d_s edge_at(const coord2d_s &a, const coord2d_s &b, int y) {
    const double t = static_cast<double>(y - a.y) / (b.y - a.y);
    coord2d_s c;
    c.x = static_cast<int>(std::lround(a.x + t * (b.x - a.x)));
    c.y = y;
    c.shade = static_cast<shade_t>(std::lround(a.shade + t * (b.shade - a.shade)));
    return c;
}

// Twice the signed area of the triangle o, a, b; corners inside the frame
// keep it far inside 64 bits.
long long turn(const coord2d_s &o, const coord2d_s &a, const coord2d_s &b) {
    return static_cast<long long>(a.x - o.x) * (b.y - o.y) -
           static_cast<long long>(a.y - o.y) * (b.x - o.x);
}

int sign_of(long long v) {
    return (v > 0) - (v < 0);
}

constexpr std::size_t max_crossing_corners = 64;

// The row where edges a-b and c-d cross at a point inside both; false when
// they do not (touching or running along each other is not crossing).
bool crossing_row(const coord2d_s &a, const coord2d_s &b, const coord2d_s &c, const coord2d_s &d,
                  double &y) {
    const long long abc = turn(a, b, c), abd = turn(a, b, d);
    if (sign_of(abc) * sign_of(abd) >= 0 || sign_of(turn(c, d, a)) * sign_of(turn(c, d, b)) >= 0)
        return false;
    const double t = static_cast<double>(abc) / static_cast<double>(abc - abd);
    y = c.y + t * (d.y - c.y);
    return true;
}

// A polygon that turns back in y, filled in pieces the row fill takes: the
// band between each two rows that hold corners is crossed by edges that run
// all the way through it, and each pair of them (left to right, by the
// even-odd rule) bounds a four-cornered piece. A piece's corners run the
// way the face's do there: down its left side when the face runs
// counter-clockwise on screen, up it when clockwise, so a flat fill draws
// what the face shows and leaves out what it does not, as it does for a
// whole face. Neighbouring bands share their boundary row (the fill draws
// both a piece's top and bottom rows), so there is no seam between them, and
// each piece's sides lie along the face's own edges.
template <typename T> void fill_by_bands(const std::vector<coord2d_s> &p, unsigned colour) {
    const std::size_t n = p.size();
    std::vector<int> rows;
    for (const coord2d_s &c : p)
        rows.push_back(c.y);
    // Where two edges cross, the rows on either side bound bands too, so that
    // no piece's sides cross inside it (a face with more corners than
    // max_crossing_corners is not searched: real faces have a handful).
    if (n <= max_crossing_corners)
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j) {
                double y;
                if (crossing_row(p[i], p[i + 1 == n ? 0 : i + 1], p[j], p[j + 1 == n ? 0 : j + 1],
                                 y)) {
                    rows.push_back(static_cast<int>(std::floor(y)));
                    rows.push_back(static_cast<int>(std::floor(y)) + 1);
                }
            }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    struct crossing {
        double x; // at the middle of the band
        std::size_t edge;
    };
    std::vector<crossing> crossings;
    std::vector<coord2d_s> piece(4);
    for (std::size_t band = 0; band + 1 < rows.size(); ++band) {
        const int top = rows[band], bottom = rows[band + 1];
        const double middle = (top + bottom) / 2.0;
        crossings.clear();
        for (std::size_t k = 0; k < n; ++k) {
            const coord2d_s &a = p[k], &b = p[k + 1 == n ? 0 : k + 1];
            if (std::min(a.y, b.y) <= top && std::max(a.y, b.y) >= bottom)
                crossings.push_back(crossing{a.x + (middle - a.y) * (b.x - a.x) / (b.y - a.y), k});
        }
        std::sort(crossings.begin(), crossings.end(),
                  [](const crossing &l, const crossing &r) { return l.x < r.x; });
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            const std::size_t l = crossings[k].edge, r = crossings[k + 1].edge;
            const coord2d_s &la = p[l], &lb = p[l + 1 == n ? 0 : l + 1];
            const coord2d_s &ra = p[r], &rb = p[r + 1 == n ? 0 : r + 1];
            const coord2d_s top_left = edge_at(la, lb, top), bottom_left = edge_at(la, lb, bottom);
            const coord2d_s top_right = edge_at(ra, rb, top),
                            bottom_right = edge_at(ra, rb, bottom);
            if (lb.y > la.y)
                piece = {top_left, bottom_left, bottom_right, top_right};
            else
                piece = {top_left, top_right, bottom_right, bottom_left};
            fill_piece<T>(piece, colour);
        }
    }
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
        fill_by_bands<T>(polygon.points, polygon.colour);
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
