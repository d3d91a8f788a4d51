// Meshes drawn each frame: transform, cull, depth sort, project and fill through the 2D rasterizer.
#include "demo/3d/demo_3d.h"

#include "demo/3d/face_clip.h"
#include "demo/check.h"
#include "demo/demo.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

int face_colour_mode = 0;

namespace demo {

namespace {

const double pi = 3.14159265358979323846;

// Where a surface seen at angle (radians, pi/2 edge-on .. pi facing the
// viewer) lies between dark and full light: 0 .. 1. Rounding can leave the
// raw value a hair outside; it is clamped, a NaN counting as 0.
double light_of_angle(double angle) {
    double t = angle * (2.0 / pi) - 1.0;
    if (!(t >= 0.0))
        t = 0.0;
    if (t > 1.0)
        t = 1.0;
    return t;
}

// Angle between a unit direction whose y is d and +y. Rounding can give a
// unit normal's y a hair beyond -1; 1 - d*d is then held at 0 so the answer
// is pi instead of NaN.
double angle_of_y(double d) {
    return std::atan2(std::sqrt(std::max(0.0, 1.0 - d * d)), d);
}

// Gouraud shade of a corner whose vertex normal has y = d, as the arc
// tangent gives it: 50 (edge-on or turned away) to 256 (facing the viewer).
shade_t shade_of_y(double d) {
    return static_cast<shade_t>(light_of_angle(angle_of_y(d)) * 206.0 + 50.0);
}

// acos(x) for 0 <= x <= 1 as sqrt(1 - x) times a polynomial of degree 7
// (Hastings' approximation). For d in [-1, 1] it comes within 2.2e-8 of what
// angle_of_y(d) gives, the rounding of sqrt(1 - d*d) included (measured at
// 2e8 points of [-1, 1] and the 2e6 doubles next to -1 and 1; the tests check
// the shades it leads to).
double acos_estimate(double x) {
    const double a0 = 1.5707963050, a1 = -0.2145988016, a2 = 0.0889789874, a3 = -0.0501743046,
                 a4 = 0.0308918810, a5 = -0.0170881256, a6 = 0.0066700901, a7 = -0.0012624911;
    const double x2 = x * x, x4 = x2 * x2;
    return std::sqrt(1.0 - x) *
           ((a0 + a1 * x) + x2 * (a2 + a3 * x) + x4 * ((a4 + a5 * x) + x2 * (a6 + a7 * x)));
}

bool index_ok(const std::vector<fcoord3d_s> &coords, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < coords.size();
}

// Depth key of a face: its first corner's transformed y. A NaN key sorts as
// the nearest, so the comparison stays a strict weak order.
double depth_key(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly) {
    double y = coords[poly.vertices[0].pos].y;
    return std::isnan(y) ? -std::numeric_limits<double>::infinity() : y;
}

// The sort needs three corners and an addressable first corner; a face
// without them is a caller error.
bool sortable(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly) {
    if (poly.vertices.size() < 3)
        std::cerr << "Face with only " << poly.vertices.size() << " vertices" << std::endl;
    DEMO_CHECK(poly.vertices.size() >= 3, false);
    DEMO_CHECK(index_ok(coords, poly.vertices[0].pos), false);
    return true;
}

// polygon3d_visible for callers that drop the angle: the same test on the
// same number, without the arc tangent (a face without a normal still gets
// polygon3d_visible's report).
bool faces_viewer(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly) {
    if (!index_ok(coords, poly.normal)) {
        double unused;
        return polygon3d_visible(coords, poly, unused);
    }
    static const fcoord3d_s ahead = {0, 1, 0, 0};
    return vect4_dot_ident(coords[poly.normal], ahead) < 0;
}

// Screen coordinates far beyond the frame are held at +-2^28 so that the
// conversion to int is defined and differences of two of them still fit; the
// rasterizer refuses such polygons anyway.
int screen_int(double v) {
    const double limit = 268435456.0;
    if (v > limit)
        return static_cast<int>(limit);
    if (v < -limit)
        return -static_cast<int>(limit);
    return static_cast<int>(v);
}

// The screen polygon of the face being drawn: one per thread, emptied for
// every face, so that drawing a face allocates nothing once the largest face
// has been seen.
polygon2d_c &face_scratch() {
    thread_local polygon2d_c face;
    face.points.clear();
    return face;
}

// Where a face's projected corners lie: whether each can be drawn as it is
// (in front of the near plane, and inside the frame), or the face has a
// corner that names no position (reported; the face is not drawn).
struct corners_at {
    bool broken = false;
    bool in_front = true; // every corner at near_depth or more, projected
    bool in_frame = true; // and inside the frame
};

bool in_frame(const coord2d_s &c) {
    return c.x >= 0 && c.x < frame_width && c.y >= 0 && c.y < frame_height;
}

bool in_front(const fcoord3d_s &p) {
    return p.y + 50.0 >= near_depth;
}

// Projects the corners of poly that lie in front into out, in order.
corners_at project_corners(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly,
                           polygon2d_c &out) {
    corners_at at;
    out.points.reserve(poly.vertices.size());
    for (const vertex_c &v : poly.vertices) {
        if (!index_ok(coords, v.pos)) { // reported with the check's own text
            at.broken = true;
            DEMO_CHECK(index_ok(coords, v.pos), at);
        }
        coord2d_s c;
        if (!in_front(coords[v.pos]) || !project(coords[v.pos], c)) {
            at.in_front = at.in_frame = false;
            continue;
        }
        at.in_frame = at.in_frame && in_frame(c);
        out.points.push_back(c);
    }
    return at;
}

// The world corners of a face for cutting, with shades for a Gouraud face
// (corner indices already checked).
std::vector<clip_corner> &cut_corners(const std::vector<fcoord3d_s> &coords,
                                      const polygon3d_c &poly, bool shaded) {
    thread_local std::vector<clip_corner> corners;
    corners.clear();
    for (const vertex_c &v : poly.vertices) {
        const fcoord3d_s &p = coords[v.pos];
        corners.push_back(
            clip_corner{p.x, p.y, p.z, shaded ? vertex_shade(coords[v.normal].y) : 0.0});
    }
    return corners;
}

} // namespace

// shade_of_y without the arc tangent, with the same result. Every step from
// the angle to the shade (multiply, subtract, clamp, multiply, add, drop the
// fraction) is rounded monotonically, so if the true angle lies within slack
// of the estimate, the shade lies between the shades of estimate - slack and
// estimate + slack; when those two agree, that is the shade. The slack is
// 45 times the estimate's error; only an angle within about 1e-6 of a step
// between two shades (one in about 4,000) or a normal facing the viewer
// (shade 256) asks the arc tangent.
shade_t vertex_shade(double d) {
    const double slack = 1e-6;
    if (d >= -1.0 && d <= 1.0) { // not NaN
        const double angle = d < 0 ? pi - acos_estimate(-d) : acos_estimate(d);
        const shade_t low = static_cast<shade_t>(light_of_angle(angle - slack) * 206.0 + 50.0);
        const shade_t high = static_cast<shade_t>(light_of_angle(angle + slack) * 206.0 + 50.0);
        if (low == high)
            return low;
    }
    return shade_of_y(d);
}

// ---------------------------------------------------------------------------
// The mesh (its loader is in obj_loader.cpp)
// ---------------------------------------------------------------------------

obj3d_c::obj3d_c() : position{0, 0, 0, 0}, rotation{0, 0, 0, 0}, nvertices(0) {}

// ---------------------------------------------------------------------------
// Transform, cull, sort
// ---------------------------------------------------------------------------

void obj3d_c::transform(std::vector<fcoord3d_s> &out) const {
    DEMO_CHECK(out.size() == coords.size());
    matrix4_c translation, rotate, turn;
    translation.mktranslate(position);
    rotate.mkrotX(rotation.x);
    turn.mkrotY(rotation.y);
    rotate *= turn;
    turn.mkrotZ(rotation.z);
    rotate *= turn;
    matrix4_c whole = translation * rotate;

    std::size_t positions = std::min<std::size_t>(nvertices, coords.size());
    for (std::size_t i = 0; i < positions; ++i)
        out[i] = whole * coords[i];
    for (std::size_t i = positions; i < coords.size(); ++i)
        out[i] = rotate * coords[i];
}

void obj3d_c::draw_func(drawpoly3d_fn fn) const {
    DEMO_CHECK(fn);
    std::vector<fcoord3d_s> transformed(coords.size(), fcoord3d_s{0, 0, 0, 0});
    transform(transformed);
    std::vector<const polygon3d_c *> order;
    sortpolygon3d_backtofront(polygons, transformed, order);
    for (const polygon3d_c *poly : order)
        fn(transformed, *poly);
}

void obj3d_c::draw() const {
    // clang-format off
    DEMO_CHECK(!"Not done");
    // clang-format on
}

bool polygon3d_closer::operator()(const polygon3d_c *a, const polygon3d_c *b) const {
    // The quick test first; sortable() repeats it and reports what fails.
    const bool quick = a->vertices.size() >= 3 && b->vertices.size() >= 3 &&
                       index_ok(coords, a->vertices[0].pos) && index_ok(coords, b->vertices[0].pos);
    if (!quick && (!sortable(coords, *a) || !sortable(coords, *b)))
        return false;
    return depth_key(coords, *a) > depth_key(coords, *b);
}

bool polygon3d_visible(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly,
                       double &angle) {
    DEMO_CHECK(index_ok(coords, poly.normal), false);
    static const fcoord3d_s ahead = {0, 1, 0, 0};
    double d = vect4_dot_ident(coords[poly.normal], ahead);
    angle = d;
    if (d < 0) {
        angle = angle_of_y(d);
        return true;
    }
    return false;
}

void sortpolygon3d_backtofront(const std::vector<polygon3d_c> &polys,
                               const std::vector<fcoord3d_s> &coords,
                               std::vector<const polygon3d_c *> &out) {
    // Each visible face's key is read once, beside its address, and the
    // sort compares the keys in place. std::sort moves the entries exactly
    // as it would move the bare addresses compared through polygon3d_closer,
    // since it sees the same answers in the same order: the same order
    // comes out, ties included.
    struct keyed {
        double depth;
        const polygon3d_c *poly;
    };
    thread_local std::vector<keyed> faces;
    faces.clear();
    for (const polygon3d_c &poly : polys) {
        if (!faces_viewer(coords, poly))
            continue;
        // Checked here rather than inside the sort: a comparison that gave
        // up half way would leave the sort without a consistent order.
        if (!sortable(coords, poly))
            return;
        faces.push_back(keyed{depth_key(coords, poly), &poly});
    }
    std::sort(faces.begin(), faces.end(),
              [](const keyed &a, const keyed &b) { return a.depth > b.depth; });
    out.reserve(out.size() + faces.size());
    for (const keyed &face : faces)
        out.push_back(face.poly);
}

// ---------------------------------------------------------------------------
// Project and draw
// ---------------------------------------------------------------------------

bool project(const fcoord3d_s &p, coord2d_s &out) {
    double d = p.y + 50.0;
    if (d == 0.0)
        return false;
    double f = 500.0 / d;
    double x = p.x * f + frame_centre_x;
    double y = frame_centre_y - p.z * f;
    if (std::isnan(x) || std::isnan(y))
        return false;
    out.x = screen_int(x);
    out.y = screen_int(y);
    return true;
}

// A face wholly in front of the near plane and inside the frame is drawn as
// it is, exactly as it always was; any other is cut to what the viewer sees.
void drawpoly3d_wireframe(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly) {
    polygon2d_c &outline = face_scratch();
    const corners_at at = project_corners(coords, poly, outline);
    if (at.broken)
        return;
    if (at.in_front) {
        // The lines themselves skip the pixels outside the frame.
        outline.colour = poly.colour;
        drawpoly2d_wireframe(outline);
        return;
    }
    // The same open outline, each line cut at the near plane.
    const std::vector<vertex_c> &corners = poly.vertices;
    if (corners.size() < 3)
        return;
    for (std::size_t i = 1; i < corners.size(); ++i)
        drawline_clipped(coords[corners[i - 1].pos], coords[corners[i].pos], poly.colour);
}

void drawpoly3d_flat(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly) {
    double angle;
    if (!polygon3d_visible(coords, poly, angle))
        return;
    polygon2d_c &face = face_scratch();
    const corners_at at = project_corners(coords, poly, face);
    if (at.broken)
        return;
    // 50 (edge-on, about a fifth) to 256 (full colour).
    unsigned factor = static_cast<unsigned>(static_cast<int>(light_of_angle(angle) * 206.0) + 50);
    unsigned base = face_colour_mode == 1 ? 0xFF8888u : poly.colour;
    unsigned r = (((base >> 16) & 0xFF) * factor) >> 8;
    unsigned g = (((base >> 8) & 0xFF) * factor) >> 8;
    unsigned b = ((base & 0xFF) * factor) >> 8;
    face.colour = (base & 0xFF000000u) | r << 16 | g << 8 | b;
    if (at.in_frame)
        fill_inside<bool>(face);
    else
        fill_clipped<bool>(cut_corners(coords, poly, false), face.colour);
}

void drawpoly3d_gourad(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly) {
    if (!faces_viewer(coords, poly))
        return;
    polygon2d_c &face = face_scratch();
    face.points.reserve(poly.vertices.size());
    bool inside = true;
    for (const vertex_c &v : poly.vertices) {
        DEMO_CHECK(index_ok(coords, v.pos));
        DEMO_CHECK(index_ok(coords, v.normal));
        coord2d_s c;
        if (!in_front(coords[v.pos]) || !project(coords[v.pos], c)) {
            inside = false;
            continue;
        }
        inside = inside && in_frame(c);
        c.shade = vertex_shade(coords[v.normal].y);
        face.points.push_back(c);
    }
    face.colour = poly.colour;
    if (inside)
        fill_inside<shade_t>(face);
    else
        fill_clipped<shade_t>(cut_corners(coords, poly, true), poly.colour);
}

void drawline3d(const fcoord3d_s &a, const fcoord3d_s &b, unsigned int colour) {
    coord2d_s from, to;
    if (!project(a, from) || !project(b, to))
        return;
    drawline2d_val(from.x, from.y, to.x, to.y, colour);
}

} // namespace demo
