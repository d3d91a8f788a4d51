// Mesh drawing: transform, projection, culling, depth order and the three face styles.
#include "mesh_test_support.h"

#include "demo/check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using demo::coord2d_s;
using demo::fcoord3d_s;
using demo::obj3d_c;
using demo::polygon3d_c;
using test3d::guarded_frame;
using test3d::reported;
using test3d::reports;

namespace {

const double pi = 3.14159265358979323846;

// Faces passed to the drawing function by draw_func, in order.
std::vector<const polygon3d_c *> seen;
void record(const std::vector<fcoord3d_s> &, const polygon3d_c &poly) {
    seen.push_back(&poly);
}

polygon3d_c face_of(std::initializer_list<int> corners, int normal, unsigned colour = 0x00FF00) {
    polygon3d_c poly;
    for (int c : corners) {
        demo::vertex_c v;
        v.pos = c;
        v.normal = normal;
        poly.vertices.push_back(v);
    }
    poly.normal = normal;
    poly.colour = colour;
    return poly;
}

// World coordinates of a 2 x 2 square at depth 50 facing the viewer (10
// pixels per unit: columns 310..330, rows 230..250 on screen), corners
// counter-clockwise as the viewer sees them, followed by one normal n.
std::vector<fcoord3d_s> square_with_normal(const fcoord3d_s &n) {
    return {{-1, 0, -1, 1}, {1, 0, -1, 1}, {1, 0, 1, 1}, {-1, 0, 1, 1}, n};
}

// A unit normal whose angle to +y gives the flat shading factor wanted.
fcoord3d_s normal_for_factor(int factor) {
    double range = (factor - 50 + 0.5) / 206.0;
    double angle = (range + 1) * pi / 2;
    return {0, std::cos(angle), std::sin(angle), 0};
}

TEST(Project, FixedCameraAndItsEdges) {
    obj3d_c obj;
    obj.coords = {{0, 0, 0, 1}, {1, 0, 1, 1}};
    obj.nvertices = 2;
    obj.position = {0, 50, 0, 1};
    std::vector<fcoord3d_s> world(2);
    obj.transform(world);
    coord2d_s c;
    c.shade = 77;
    ASSERT_TRUE(demo::project(world[0], c));
    EXPECT_EQ(c.x, 320);
    EXPECT_EQ(c.y, 240);
    ASSERT_TRUE(demo::project(world[1], c));
    EXPECT_EQ(c.x, 325);
    EXPECT_EQ(c.y, 235);
    EXPECT_EQ(c.shade, 77); // only x and y are written

    EXPECT_FALSE(demo::project(fcoord3d_s{1, -50, 1, 1}, c)); // in the viewer's plane
    EXPECT_EQ(c.x, 325);
    ASSERT_TRUE(demo::project(fcoord3d_s{1, -60, 1, 1}, c)); // behind: mirrored
    EXPECT_EQ(c.x, 270);
    EXPECT_EQ(c.y, 290);
    ASSERT_TRUE(demo::project(fcoord3d_s{-0.01, 0, 0.01, 1}, c)); // truncation toward zero
    EXPECT_EQ(c.x, 319);
    EXPECT_EQ(c.y, 239);

    // Far outside int range: held at a large but representable value.
    ASSERT_TRUE(demo::project(fcoord3d_s{1e300, 0, -1e300, 1}, c));
    EXPECT_GT(c.x, 1 << 20);
    EXPECT_GT(c.y, 1 << 20);
    EXPECT_FALSE(demo::project(fcoord3d_s{std::nan(""), 0, 0, 1}, c));
}

TEST(Transform, TurnsZThenYThenXAndMovesOnlyPositions) {
    obj3d_c obj;
    obj.coords = {{1, 0, 0, 1}, {1, 0, 0, 0}};
    obj.nvertices = 1;
    obj.position = {5, 50, 0, 1};
    obj.rotation = {pi / 2, 0, pi / 2, 0};
    std::vector<fcoord3d_s> world(2);
    obj.transform(world);
    // Z takes (1,0,0) to (0,1,0); X (opposite sense) then takes it to (0,0,-1).
    EXPECT_NEAR(world[0].x, 5, 1e-12);
    EXPECT_NEAR(world[0].y, 50, 1e-12);
    EXPECT_NEAR(world[0].z, -1, 1e-12);
    EXPECT_NEAR(world[0].w, 1, 1e-12);
    EXPECT_NEAR(world[1].x, 0, 1e-12); // the normal turns but does not move
    EXPECT_NEAR(world[1].y, 0, 1e-12);
    EXPECT_NEAR(world[1].z, -1, 1e-12);

    obj.rotation = {0, pi / 2, 0, 0};
    obj.transform(world);
    EXPECT_NEAR(world[1].z, 1, 1e-12); // Y by pi/2 takes +x to +z

    std::vector<fcoord3d_s> small(1);
    // Wrong size: refused, nothing written past the end.
    EXPECT_EQ(reported([&] { obj.transform(small); }).checks, 1u);
}

TEST(Visibility, OnlyNormalsTowardsTheViewerPass) {
    polygon3d_c poly = face_of({0, 1, 2}, 0);
    double angle = 0;
    EXPECT_TRUE(demo::polygon3d_visible({{0, -1, 0, 0}}, poly, angle));
    EXPECT_DOUBLE_EQ(angle, pi);
    EXPECT_FALSE(demo::polygon3d_visible({{0, 0, 1, 0}}, poly, angle)); // edge-on
    EXPECT_FALSE(demo::polygon3d_visible({{0, 0.3, 0.9, 0}}, poly, angle));
    EXPECT_FALSE(demo::polygon3d_visible({{0, 0, 0, 0}}, poly, angle)); // degenerate face
    EXPECT_TRUE(demo::polygon3d_visible({{0.6, -0.8, 0, 0}}, poly, angle));
    EXPECT_NEAR(angle, std::acos(-0.8), 1e-12);
    // Rounding can carry a unit normal's y just past -1: still straight on.
    EXPECT_TRUE(demo::polygon3d_visible({{0, std::nextafter(-1.0, -2.0), 0, 0}}, poly, angle));
    EXPECT_DOUBLE_EQ(angle, pi);
}

TEST(Sort, VisibleFacesFarthestFirstByTheirFirstCorner) {
    // Face 0's first corner is at depth 10 but its others far behind; face 1's
    // first corner is at depth 20; face 2 faces away.
    std::vector<fcoord3d_s> coords = {{0, 10, 0, 1}, {1, 90, 0, 1}, {0, 90, 1, 1}, {0, 20, 0, 1},
                                      {1, 20, 0, 1}, {0, 20, 1, 1}, {0, -1, 0, 0}, {0, 1, 0, 0}};
    std::vector<polygon3d_c> faces = {face_of({0, 1, 2}, 6), face_of({3, 4, 5}, 6),
                                      face_of({3, 4, 5}, 7)};
    polygon3d_c already;
    std::vector<const polygon3d_c *> out = {&already};
    demo::sortpolygon3d_backtofront(faces, coords, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], &already); // appended, not replaced
    EXPECT_EQ(out[1], &faces[1]);
    EXPECT_EQ(out[2], &faces[0]);

    demo::polygon3d_closer closer(coords);
    EXPECT_TRUE(closer(&faces[1], &faces[0]));
    EXPECT_FALSE(closer(&faces[0], &faces[1]));
    EXPECT_FALSE(closer(&faces[1], &faces[2])); // equal keys
}

TEST(Sort, FaceWithTooFewCornersIsReportedAndDropsTheDraw) {
    std::vector<fcoord3d_s> coords = {{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 1, 1}, {0, -1, 0, 0}};
    std::vector<polygon3d_c> faces = {face_of({0, 1, 2}, 3), face_of({0, 1}, 3)};
    std::vector<const polygon3d_c *> out;
    const reports sorted = reported([&] { demo::sortpolygon3d_backtofront(faces, coords, out); });
    EXPECT_EQ(sorted.checks, 1u);
    EXPECT_EQ(sorted.err.rfind("Face with only 2 vertices\n", 0), 0u) << sorted.err;
    EXPECT_TRUE(out.empty());

    bool closer = true;
    EXPECT_EQ(
        reported([&] { closer = demo::polygon3d_closer(coords)(&faces[1], &faces[0]); }).checks,
        1u);
    EXPECT_FALSE(closer);
}

TEST(DrawFunc, CallsTheFunctionOncePerVisibleFaceInDepthOrder) {
    obj3d_c empty;
    seen.clear();
    empty.draw_func(record);
    EXPECT_TRUE(seen.empty());

    obj3d_c cube;
    ASSERT_TRUE(test3d::load_quietly(cube, test3d::unit_cube_obj));
    seen.clear();
    cube.draw_func(record); // straight on: only the -y face looks at the viewer
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], &cube.polygons[2]);

    cube.rotation = {0.5, 0.4, 0.3, 0};
    seen.clear();
    cube.draw_func(record);
    ASSERT_EQ(seen.size(), 3u); // a turned cube shows three faces
    std::vector<fcoord3d_s> world(cube.coords.size());
    cube.transform(world);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_GE(world[seen[i - 1]->vertices[0].pos].y, world[seen[i]->vertices[0].pos].y);
}

TEST(DrawFunc, WireframeStillShowsOnlyFrontFaces) {
    guarded_frame frame;
    obj3d_c cube;
    ASSERT_TRUE(test3d::load_quietly(cube, test3d::unit_cube_obj));
    cube.position.y = 1; // front face at depth 50: 10 pixels per unit
    cube.draw_func(demo::drawpoly3d_wireframe);
    // Only the front square (310..330, 230..250) is outlined; its open
    // outline leaves the last edge out.
    int x0, y0, x1, y1;
    ASSERT_TRUE(frame.bounds_not(0, x0, y0, x1, y1));
    EXPECT_EQ(x0, 310);
    EXPECT_EQ(x1, 330);
    EXPECT_EQ(y0, 230);
    EXPECT_EQ(y1, 250);
    EXPECT_EQ(frame.at(320, 250), 0x00FF00u);
    EXPECT_EQ(frame.at(320, 240), 0u);
}

TEST(Flat, ShadeFactorAndColourMode) {
    guarded_frame frame;
    polygon3d_c face = face_of({0, 1, 2, 3}, 4);
    struct {
        fcoord3d_s normal;
        int mode;
        unsigned colour, expected;
    } cases[] = {
        {normal_for_factor(128), 0, 0x00FF00, 0x007F00},
        {normal_for_factor(128), 1, 0x00FF00, 0x7F4444},
        {normal_for_factor(200), 1, 0xAB00FF00, 0xC76A6A},
        {{0, -1, 0, 0}, 0, 0xAB123456, 0xAB123456}, // full light keeps the colour and top byte
        {{0, std::nextafter(-1.0, -2.0), 0, 0}, 0, 0x00FF00, 0x00FF00},
        {{0, -1e-9, 1, 0}, 0, 0x00FF00, 0x003100}, // nearly edge-on: factor 50
    };
    for (const auto &c : cases) {
        demo::clear(0);
        face.colour = c.colour;
        face_colour_mode = c.mode;
        unsigned long checks = demo::check_failure_count();
        demo::drawpoly3d_flat(square_with_normal(c.normal), face);
        EXPECT_EQ(demo::check_failure_count(), checks);
        EXPECT_EQ(frame.at(320, 240), c.expected) << std::hex << c.colour << " mode " << c.mode;
        EXPECT_EQ(frame.at(320, 260), 0u);
    }
    face_colour_mode = 0;
    EXPECT_TRUE(frame.guards_intact());
}

TEST(Flat, CulledAndBrokenFacesDrawNothingAndOneThroughTheViewersPlaneIsCut) {
    guarded_frame frame;
    polygon3d_c face = face_of({0, 1, 2, 3}, 4);
    demo::drawpoly3d_flat(square_with_normal({0, 1, 0, 0}), face); // facing away
    EXPECT_EQ(frame.count_not(0), 0);

    // One corner in the viewer's plane: the part in front of the near plane
    // is drawn, a band reaching past the frame's top edge, without a word.
    std::vector<fcoord3d_s> coords = square_with_normal({0, -1, 0, 0});
    coords[2].y = -50;
    for (demo::drawpoly3d_fn fn : {demo::drawpoly3d_flat, demo::drawpoly3d_gourad}) {
        demo::clear(0);
        const reports cut = reported([&] { fn(coords, face); });
        EXPECT_EQ(cut.checks, 0u);
        EXPECT_EQ(cut.err, "");
        EXPECT_NE(frame.at(320, 240), 0u);
        EXPECT_NE(frame.at(400, 160), 0u);
        EXPECT_NE(frame.at(560, 0), 0u);
        EXPECT_EQ(frame.at(300, 240), 0u);
    }
    EXPECT_TRUE(frame.guards_intact());
    demo::clear(0);

    polygon3d_c broken = face_of({0, 1, 9}, 4); // no position 9
    const reports drawn = reported([&] {
        demo::drawpoly3d_flat(square_with_normal({0, -1, 0, 0}), broken);
        demo::drawpoly3d_gourad(square_with_normal({0, -1, 0, 0}), broken);
        demo::drawpoly3d_wireframe(square_with_normal({0, -1, 0, 0}), broken);
    });
    EXPECT_EQ(drawn.checks, 3u);
    EXPECT_EQ(frame.count_not(0), 0);
}

TEST(Gouraud, CornerShadesComeFromVertexNormals) {
    guarded_frame frame;
    polygon3d_c face = face_of({0, 1, 2, 3}, 5);
    face.normal = 4;
    struct {
        fcoord3d_s vertex_normal;
        unsigned expected;
    } cases[] = {
        {{0, 1, 0, 0}, 0x003100},  // turned away: 50, not less
        {{0, 0, 0, 0}, 0x003100},  // a position no face uses
        {{0, 0, 1, 0}, 0x003100},  // edge-on
        {{0, -1, 0, 0}, 0x00FF00}, // straight at the viewer: 256
        {{0, std::nextafter(-1.0, -2.0), 0, 0}, 0x00FF00},
    };
    face_colour_mode = 1; // plays no part in Gouraud shading
    for (const auto &c : cases) {
        demo::clear(0);
        std::vector<fcoord3d_s> coords = square_with_normal({0, -1, 0, 0});
        coords.push_back(c.vertex_normal);
        demo::drawpoly3d_gourad(coords, face);
        EXPECT_EQ(frame.at(320, 240), c.expected) << c.vertex_normal.y;
    }
    face_colour_mode = 0;

    // A face turned away is culled whatever its corners' normals say.
    demo::clear(0);
    std::vector<fcoord3d_s> coords = square_with_normal({0, 1, 0, 0});
    coords.push_back({0, -1, 0, 0});
    demo::drawpoly3d_gourad(coords, face);
    EXPECT_EQ(frame.count_not(0), 0);
}

TEST(Gouraud, ShadesAreInterpolatedAcrossTheFace) {
    guarded_frame frame;
    // Left corners lit fully, right corners dark.
    std::vector<fcoord3d_s> coords = square_with_normal({0, -1, 0, 0});
    coords.push_back({0, -1, 0, 0});
    coords.push_back({0, 1, 0, 0});
    polygon3d_c face = face_of({0, 1, 2, 3}, 4);
    face.vertices[0].normal = face.vertices[3].normal = 5;
    face.vertices[1].normal = face.vertices[2].normal = 6;
    demo::drawpoly3d_gourad(coords, face);
    unsigned left = frame.at(312, 240) >> 8 & 0xFF, mid = frame.at(320, 240) >> 8 & 0xFF,
             right = frame.at(328, 240) >> 8 & 0xFF;
    EXPECT_GT(left, mid);
    EXPECT_GT(mid, right);
    EXPECT_GE(right, 0x31u);
}

TEST(Wireframe, OutlinesWithoutAVisibilityTest) {
    guarded_frame frame;
    polygon3d_c face = face_of({0, 1, 2, 3}, 4, 0x123456);
    demo::drawpoly3d_wireframe(square_with_normal({0, 1, 0, 0}), face); // facing away
    EXPECT_EQ(frame.at(320, 250), 0x123456u);                           // the bottom edge
    EXPECT_EQ(frame.at(320, 240), 0u);
}

TEST(Line3d, ProjectsBothEnds) {
    guarded_frame frame;
    demo::drawline3d({-1, 0, 0, 1}, {1, 0, 0, 1}, 0xFFFFFF);
    EXPECT_EQ(frame.count_not(0), 21); // (310,240) to (330,240), both ends
    EXPECT_EQ(frame.at(310, 240), 0xFFFFFFu);
    EXPECT_EQ(frame.at(330, 240), 0xFFFFFFu);
    demo::clear(0);
    demo::drawline3d({-1, -50, 0, 1}, {1, 0, 0, 1}, 0xFFFFFF);
    EXPECT_EQ(frame.count_not(0), 0);
}

TEST(Draw, IsNotImplementedAndSaysSo) {
    guarded_frame frame;
    obj3d_c cube;
    ASSERT_TRUE(test3d::load_quietly(cube, test3d::unit_cube_obj));
    const reports drawn = reported([&] { cube.draw(); });
    EXPECT_EQ(drawn.checks, 1u);
    EXPECT_NE(drawn.err.find("Not done"), std::string::npos);
    EXPECT_EQ(frame.count_not(0), 0);
}

TEST(Sort, FaceWithoutANormalIsReportedAndLeftOut) {
    std::vector<fcoord3d_s> coords = {{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 1, 1}, {0, -1, 0, 0}};
    std::vector<polygon3d_c> faces = {face_of({0, 1, 2}, 3), face_of({0, 1, 2}, 3)};
    faces[1].normal = 4; // past the end of coords
    std::vector<const polygon3d_c *> out;
    const reports sorted = reported([&] { demo::sortpolygon3d_backtofront(faces, coords, out); });
    EXPECT_EQ(sorted.checks, 1u);
    EXPECT_NE(sorted.err.find("polygon3d_visible"), std::string::npos) << sorted.err;
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], &faces[0]);
}

// The corner shade as first described, through the arc tangent.
int shade_by_arc_tangent(double d) {
    double t = std::atan2(std::sqrt(std::max(0.0, 1.0 - d * d)), d) * (2.0 / pi) - 1.0;
    if (!(t >= 0.0))
        t = 0.0;
    if (t > 1.0)
        t = 1.0;
    return static_cast<int>(t * 206.0 + 50.0);
}

// vertex_shade may take a shortcut past the arc tangent, but never to a
// different shade: checked densely, next to -1, 0 and 1, and on both sides
// of every step between two shades, where a shortcut would slip first.
TEST(Gouraud, VertexShadeIsTheArcTangentFormulaEverywhere) {
    auto expect_same = [](double d) {
        ASSERT_EQ(demo::vertex_shade(d), shade_by_arc_tangent(d)) << std::hexfloat << d;
    };
    const int steps = 2000000;
    for (int i = 0; i <= steps; ++i)
        ASSERT_NO_FATAL_FAILURE(expect_same(-1.0 + 2.0 * i / steps));
    for (double from : {-1.0, 0.0, 1.0}) {
        double up = from, down = from;
        for (int i = 0; i < 20000; ++i) {
            ASSERT_NO_FATAL_FAILURE(expect_same(up));
            ASSERT_NO_FATAL_FAILURE(expect_same(down));
            up = std::nextafter(up, 2.0);
            down = std::nextafter(down, -2.0);
        }
    }
    // The shade falls from 256 at d = -1 to 50 at d = 0: find each step.
    int found = 0;
    for (int shade = 51; shade <= 256; ++shade) {
        double lit = -1.0, dark = 0.0; // shade_by_arc_tangent(lit) >= shade > (dark)
        if (shade_by_arc_tangent(lit) < shade)
            continue;
        while (std::nextafter(lit, dark) != dark) {
            const double mid = lit + (dark - lit) / 2;
            if (mid == lit || mid == dark)
                break;
            (shade_by_arc_tangent(mid) >= shade ? lit : dark) = mid;
        }
        ++found;
        double a = lit, b = dark;
        for (int i = 0; i < 64; ++i) {
            ASSERT_NO_FATAL_FAILURE(expect_same(a));
            ASSERT_NO_FATAL_FAILURE(expect_same(b));
            a = std::nextafter(a, -2.0);
            b = std::nextafter(b, 2.0);
        }
        for (int k = 1; k <= 400; ++k) {
            ASSERT_NO_FATAL_FAILURE(expect_same(lit - k * 5e-9));
            ASSERT_NO_FATAL_FAILURE(expect_same(dark + k * 5e-9));
        }
    }
    EXPECT_GE(found, 200);
    for (double d : {std::nan(""), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), -2.0, 2.0, -0.0,
                     std::nextafter(-1.0, -2.0), std::nextafter(1.0, 2.0)})
        ASSERT_NO_FATAL_FAILURE(expect_same(d));
}

} // namespace
