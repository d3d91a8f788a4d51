// Faces cut to the frame and the near plane, faces filled in pieces, and real-world-style files.
#include "mesh_test_support.h"

#include "demo/3d/face_clip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using demo::coord2d_s;
using demo::fcoord3d_s;
using demo::obj3d_c;
using demo::polygon3d_c;
using test3d::guarded_frame;
using test3d::reported;
using test3d::reports;

namespace {

const demo::drawpoly3d_fn styles[] = {demo::drawpoly3d_flat, demo::drawpoly3d_gourad,
                                      demo::drawpoly3d_wireframe};

struct point {
    double x, y;
};

// Pixels drawn against the exact polygon: the centre of every drawn pixel
// lies inside it or within `slack` of its outline, and every centre deeper
// inside than that is drawn (but in the last column for a shaded fill, whose
// runs never reach it). Inside is by the even-odd rule. Returns the number of
// pixels that break either.
int coverage_errors(const guarded_frame &frame, const std::vector<point> &poly, double slack,
                    bool shaded) {
    int x0, y0, x1, y1;
    if (!frame.bounds_not(0, x0, y0, x1, y1))
        x0 = y0 = 0, x1 = y1 = -1;
    for (const point &c : poly) {
        x0 = std::min(x0, static_cast<int>(std::max(c.x - slack, -1.0)));
        x1 = std::max(x1, static_cast<int>(std::min(c.x + slack, 640.0)));
        y0 = std::min(y0, static_cast<int>(std::max(c.y - slack, -1.0)));
        y1 = std::max(y1, static_cast<int>(std::min(c.y + slack, 480.0)));
    }
    int errors = 0;
    for (int y = std::max(y0, 0); y <= std::min(y1, 479); ++y)
        for (int x = std::max(x0, 0); x <= std::min(x1, shaded ? 638 : 639); ++x) {
            const double px = x + 0.5, py = y + 0.5;
            bool inside = false, near = false;
            for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
                const point &a = poly[i], &b = poly[j];
                if ((a.y > py) != (b.y > py) && px < a.x + (py - a.y) * (b.x - a.x) / (b.y - a.y))
                    inside = !inside;
                const double dx = b.x - a.x, dy = b.y - a.y;
                double t = ((px - a.x) * dx + (py - a.y) * dy) / (dx * dx + dy * dy);
                t = std::isfinite(t) ? std::fmax(0, std::fmin(1, t)) : 0;
                const double ex = a.x + t * dx - px, ey = a.y + t * dy - py;
                near = near || ex * ex + ey * ey <= slack * slack;
            }
            errors += !near && (frame.at(x, y) != 0) != inside;
        }
    return errors;
}

TEST(RealWorldFiles, LoadAndDrawWithoutAWordWhereverTheyStand) {
    struct file {
        const char *name;
        std::size_t faces;
        const char *err;
    } files[] = {
        {"box_bare.obj", 6,
         "Unknown line in object file: o Box\nUnknown line in object file: s off\n"},
        {"pyramid_crlf.obj", 5,
         "Unknown line in object file: o Pyramid\r\nUnknown line in object file: s 1\r\n"},
        {"strips_negative.obj", 3,
         "Unknown line in object file: o Strips\n"
         "Unknown line in object file: l -4 -3 -2 -1 -4\n"
         "Unknown line in object file: l -1 -2\n"},
        {"saddle.obj", 9, ""},
    };
    guarded_frame frame;
    for (const file &f : files) {
        obj3d_c obj;
        const test3d::load_result r =
            test3d::load(obj, std::string(VORBO_SOURCE_DIR "/tests/3d/meshes/") + f.name);
        ASSERT_TRUE(r.ok) << f.name << r.err;
        EXPECT_EQ(obj.polygons.size(), f.faces) << f.name;
        EXPECT_EQ(r.err, f.err) << f.name;
        // At the frame's edges, in the viewer's plane, behind and around the
        // viewer, and far away, turned four ways.
        for (double x : {-66.0, -8.0, 0.0, 3.0})
            for (double y : {-53.0, -50.0, -49.0, -46.0, 0.0, 50.0, 400.0})
                for (double z : {-52.0, 0.0, 1.5})
                    for (int turn = 0; turn < 4; ++turn) {
                        obj.position = fcoord3d_s{x, y, z, 1};
                        obj.rotation = fcoord3d_s{0.7 * turn, 1.1 * turn, 0.4 * turn, 0};
                        for (demo::drawpoly3d_fn fn : styles) {
                            const reports drawn = reported([&] { obj.draw_func(fn); });
                            ASSERT_EQ(drawn.checks, 0u) << f.name << " at " << x << "," << y;
                            ASSERT_EQ(drawn.err, "") << f.name;
                        }
                    }
        EXPECT_TRUE(frame.guards_intact()) << f.name;
    }
}

// A floor 5 units below the eye from 100 behind the viewer to 100 ahead of
// it: the viewer sees it from its far edge (row 265) down to the frame's
// bottom row, over the whole width.
TEST(Cut, AFloorUnderAndBehindTheViewerFillsTheBottomOfTheFrame) {
    std::vector<fcoord3d_s> coords = {{-200, -150, -5, 1}, {200, -150, -5, 1}, {200, 50, -5, 1},
                                      {-200, 50, -5, 1},   {0, 0, 1, 0},       {0, -1, 0, 0}};
    polygon3d_c floor;
    for (int k : {0, 1, 2, 3})
        floor.vertices.push_back(demo::vertex_c{k, 5});
    floor.normal = 5; // lit and culled as if it faced the viewer
    for (demo::drawpoly3d_fn fn : {demo::drawpoly3d_flat, demo::drawpoly3d_gourad}) {
        guarded_frame frame;
        const reports drawn = reported([&] { fn(coords, floor); });
        EXPECT_EQ(drawn.checks, 0u);
        EXPECT_EQ(drawn.err, "");
        for (int y : {0, 200, 263})
            EXPECT_FALSE(frame.row_drawn(y)) << y;
        for (int y : {267, 300, 479})
            for (int x : {0, 320, 638}) // a Gouraud run never reaches the last column
                EXPECT_NE(frame.at(x, y), 0u) << x << "," << y;
        EXPECT_TRUE(frame.guards_intact());
    }
}

// A random face: 3 to 7 corners around a centre anywhere near the viewer,
// in front of, beside or behind it, of any size up to enormous.
std::vector<fcoord3d_s> random_face(std::mt19937 &rng, int corners) {
    std::uniform_real_distribution<double> unit(-1, 1);
    const double size = std::pow(10.0, 4 * (unit(rng) + 1) - 2); // 0.01 .. 1e6
    const fcoord3d_s centre = {300 * unit(rng), 150 * unit(rng) + 30, 300 * unit(rng), 1};
    std::vector<fcoord3d_s> coords;
    for (int k = 0; k < corners; ++k)
        coords.push_back({centre.x + size * unit(rng), centre.y + size * unit(rng),
                          centre.z + size * unit(rng), 1});
    return coords;
}

TEST(Cut, AnyFaceAnywhereDrawsWithoutAWordAndOnlyInTheFrame) {
    std::mt19937 rng(17);
    guarded_frame frame;
    for (int i = 0; i < 6000; ++i) {
        const int n = 3 + static_cast<int>(rng() % 5);
        std::vector<fcoord3d_s> coords = random_face(rng, n);
        if (i % 50 == 0)
            coords[rng() % n].x = (i % 100 ? 1e300 : -1e300);
        coords.push_back({0, -1, 0, 0});                                           // face normal
        coords.push_back({0, std::uniform_real_distribution<>(-1, 1)(rng), 0, 0}); // vertex normal
        polygon3d_c face;
        for (int k = 0; k < n; ++k)
            face.vertices.push_back(demo::vertex_c{k, n + 1});
        face.normal = n;
        face.colour = rng();
        const reports drawn = reported([&] {
            for (demo::drawpoly3d_fn fn : styles)
                fn(coords, face);
        });
        ASSERT_EQ(drawn.checks, 0u) << i;
        ASSERT_EQ(drawn.err, "") << i;
        if (i % 500 == 0)
            frame.clear();
    }
    EXPECT_TRUE(frame.guards_intact());
}

// Convex faces facing the viewer at depth 20 to 120: corners on an ellipse,
// counter-clockwise on screen, so every style draws them.
std::vector<fcoord3d_s> facing_face(std::mt19937 &rng, double across, double spread) {
    std::uniform_real_distribution<double> unit(0, 1);
    const double depth = 20 + 100 * unit(rng), scale = depth / 500;
    const double cx = (unit(rng) - 0.5) * spread * scale, cz = (unit(rng) - 0.5) * spread * scale;
    const double rx = across * scale * (0.2 + unit(rng)), rz = across * scale * (0.2 + unit(rng));
    const int n = 3 + static_cast<int>(unit(rng) * 5);
    const double turn = unit(rng) * 6.283185307179586;
    std::vector<fcoord3d_s> coords;
    for (int k = 0; k < n; ++k) {
        const double a = turn + k * 6.283185307179586 / n;
        coords.push_back({cx + rx * std::cos(a), depth - 50, cz + rz * std::sin(a), 1});
    }
    return coords;
}

// A face of the first n coordinates, n + 1 being its normal for every use.
polygon3d_c face_over(int n) {
    const int normal = n;
    polygon3d_c face;
    for (int k = 0; k < n; ++k)
        face.vertices.push_back(demo::vertex_c{k, normal});
    face.normal = normal;
    face.colour = 0x00FF00;
    return face;
}

TEST(Cut, AFaceInsideTheFrameDrawsExactlyAsItsProjection) {
    std::mt19937 rng(5);
    guarded_frame frame;
    std::vector<unsigned> through_mesh(640 * 480);
    for (int i = 0; i < 400; ++i) {
        std::vector<fcoord3d_s> coords = facing_face(rng, 150, 300);
        const int n = static_cast<int>(coords.size());
        coords.push_back({0, -1, 0, 0});
        const polygon3d_c face = face_over(n);
        demo::polygon2d_c projected;
        bool inside = true;
        for (int k = 0; k < n; ++k) {
            coord2d_s c;
            ASSERT_TRUE(demo::project(coords[k], c));
            c.shade = 256;
            projected.points.push_back(c);
            inside = inside && c.x >= 0 && c.x < 640 && c.y >= 0 && c.y < 480;
        }
        if (!inside)
            continue;
        projected.colour = face.colour;
        const bool gourad = i % 2;
        demo::clear(0);
        (gourad ? demo::drawpoly3d_gourad : demo::drawpoly3d_flat)(coords, face);
        std::copy(demo::frame, demo::frame + 640 * 480, through_mesh.begin());
        demo::clear(0);
        gourad ? demo::drawpoly2d<demo::shade_t>(projected) : demo::drawpoly2d<bool>(projected);
        ASSERT_GT(frame.count_not(0), 0);
        ASSERT_TRUE(std::equal(through_mesh.begin(), through_mesh.end(), demo::frame)) << i;
    }
}

TEST(Cut, AFaceReachingPastTheFrameDrawsItsVisiblePart) {
    std::mt19937 rng(9);
    guarded_frame frame;
    for (int i = 0; i < 60; ++i) {
        std::vector<fcoord3d_s> coords = facing_face(rng, 1500, 1400);
        const int n = static_cast<int>(coords.size());
        coords.push_back({0, -1, 0, 0});
        std::vector<point> exact;
        for (int k = 0; k < n; ++k) {
            const double f = 500 / (coords[k].y + 50);
            exact.push_back({coords[k].x * f + 320, 240 - coords[k].z * f});
        }
        demo::clear(0);
        const reports drawn = reported([&] {
            (i % 2 ? demo::drawpoly3d_gourad : demo::drawpoly3d_flat)(coords, face_over(n));
        });
        ASSERT_EQ(drawn.checks, 0u);
        ASSERT_EQ(coverage_errors(frame, exact, 2.5, i % 2), 0) << i;
    }
    EXPECT_TRUE(frame.guards_intact());
}

// Star-shaped polygons (concave, mostly not monotone in y) and bow ties
// drawn by the piece fill: filled whole, both lobes of a bow tie shaded.
TEST(Pieces, FacesThatTurnBackInYAreFilledWhole) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> unit(0, 1);
    guarded_frame frame;
    for (int i = 0; i < 200; ++i) {
        demo::polygon2d_c poly;
        poly.colour = 0x123456;
        std::vector<point> exact;
        const bool bow_tie = i % 4 == 0;
        const int n = bow_tie ? 4 : 5 + static_cast<int>(rng() % 9);
        const double cx = 100 + 440 * unit(rng), cy = 100 + 280 * unit(rng);
        for (int k = 0; k < n; ++k) {
            // Counter-clockwise on screen (y grows downwards).
            const double a = -k * 6.283185307179586 / n, r = 20 + 70 * unit(rng);
            coord2d_s c = {static_cast<int>(cx + r * std::cos(a)),
                           static_cast<int>(cy + r * std::sin(a)), 256};
            if (bow_tie) // corners top left, bottom right, top right, bottom left
                c = {static_cast<int>(cx) + (k % 3 ? 60 : -60),
                     static_cast<int>(cy) + (k % 2 ? 50 : -50), 256};
            poly.points.push_back(c);
            exact.push_back({c.x + 0.0, c.y + 0.0});
        }
        demo::clear(0);
        const reports drawn = reported([&] {
            bow_tie ? demo::fill_inside<demo::shade_t>(poly) : demo::fill_inside<bool>(poly);
        });
        ASSERT_EQ(drawn.checks, 0u);
        ASSERT_EQ(coverage_errors(frame, exact, 2.5, bow_tie), 0) << i;
    }
    EXPECT_TRUE(frame.guards_intact());
}

} // namespace
