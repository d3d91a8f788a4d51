// The OBJ loader: accepted and ignored lines, computed normals, messages and failures.
#include "mesh_test_support.h"

#include "demo/check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <random>
#include <sstream>

using demo::fcoord3d_s;
using demo::obj3d_c;
using test3d::expect_vec;
using test3d::load;
using test3d::load_quietly;
using test3d::load_result;
using test3d::unit_cube_obj;
using test3d::write_file;

namespace {

void expect_empty(const obj3d_c &obj) {
    EXPECT_TRUE(obj.coords.empty());
    EXPECT_TRUE(obj.polygons.empty());
    EXPECT_EQ(obj.nvertices, 0u);
}

TEST(Loader, CubeGivesPositionsThenFaceNormalsThenVertexNormals) {
    obj3d_c cube;
    std::string path = write_file("cube.obj", unit_cube_obj);
    load_result r = load(cube, path);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.out, "Loading object " + path + "...  done (6 faces)\n");
    EXPECT_EQ(r.err, "");

    EXPECT_EQ(cube.nvertices, 8u);
    ASSERT_EQ(cube.coords.size(), 22u);
    ASSERT_EQ(cube.polygons.size(), 6u);
    expect_vec(cube.position, 0, 50, 0, 1);
    expect_vec(cube.rotation, 0, 0, 0, 0);
    expect_vec(cube.coords[0], -1, -1, -1, 1);

    const double axes[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
    for (int k = 0; k < 6; ++k) {
        const demo::polygon3d_c &face = cube.polygons[k];
        EXPECT_EQ(face.vertices.size(), 4u);
        EXPECT_EQ(face.colour, 0x00FF00u);
        EXPECT_EQ(face.normal, 8 + k);
        expect_vec(cube.coords[face.normal], axes[k][0], axes[k][1], axes[k][2], 0);
        for (const demo::vertex_c &v : face.vertices)
            EXPECT_EQ(v.normal, 14 + v.pos);
    }
    // Each corner's normal points out through that corner.
    const double s = 1 / std::sqrt(3.0);
    for (int i = 0; i < 8; ++i) {
        const fcoord3d_s &p = cube.coords[i];
        expect_vec(cube.coords[14 + i], p.x * s, p.y * s, p.z * s, 0);
    }
}

TEST(Loader, CommentsIgnoredKeywordsAndBlankLinesChangeNothing) {
    std::string text = std::string("# a comment\n"
                                   "mtllib jet.mtl\n"
                                   "\n"
                                   "v 0 0 0\n"
                                   "   \t \n" // blank right after a "v" line
                                   "v 1 0 0 7.5\n"
                                   "v 0 0 1\n"
                                   "vn 0 -1 0\n"
                                   "vt 0.5 0.5\n"
                                   "vp 0.1\n"
                                   "g body\n"
                                   "usemtl green\n"
                                   "f 1/1/1 2/2/1 3/3/1\n"
                                   "\n" // blank right after an "f" line
                                   "# end\n");
    obj3d_c obj;
    std::string path = write_file("quiet.obj", text);
    load_result r = load(obj, path);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Loading object " + path + "...  done (1 faces)\n");
    EXPECT_EQ(obj.nvertices, 3u);
    expect_vec(obj.coords[1], 1, 0, 0, 1); // the fourth number is dropped
    expect_vec(obj.coords[obj.polygons[0].normal], 0, -1, 0, 0);
}

TEST(Loader, UnknownLinesAreReportedAndSkipped) {
    obj3d_c obj;
    std::string path = write_file("unknown.obj", "o fighter\nv 0 0 0\nv 1 0 0\nv 0 0 1\n"
                                                 "s 1\nf 1// 2// 3//\nV 1 2 3\n");
    load_result r = load(obj, path);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.err, "Unknown line in object file: o fighter\n"
                     "Unknown line in object file: s 1\n"
                     "Unknown line in object file: V 1 2 3\n");
    EXPECT_EQ(obj.nvertices, 3u);
}

TEST(Loader, FacesMayReferToLaterPositions) {
    obj3d_c obj;
    ASSERT_TRUE(load_quietly(obj, "f 1/1 2/2 3/3 4/4\nv 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\n"));
    ASSERT_EQ(obj.polygons.size(), 1u);
    EXPECT_EQ(obj.polygons[0].vertices.size(), 4u);
    expect_vec(obj.coords[obj.polygons[0].normal], 0, -1, 0, 0);
}

TEST(Loader, BareNumbersAreCornersAndNegativeOnesCountBack) {
    obj3d_c obj;
    // Bare, slashed and relative corners mixed; -1 is the latest "v" so far.
    ASSERT_TRUE(load_quietly(obj, "v 0 0 0\nv 9 9 9\nv 1 0 0\nv 9 9 9\nv 1 0 1\nv 9 9 9\n"
                                  "f 1 2 3 4 5 6\n"
                                  "f 1 -4 -2/7/7\n"
                                  "v 0 0 2\n"
                                  "f -7//1 -5 -1\n"));
    ASSERT_EQ(obj.polygons.size(), 3u);
    std::vector<int> expected[] = {{0, 1, 2, 3, 4, 5}, {0, 2, 4}, {0, 2, 6}};
    for (int k = 0; k < 3; ++k) {
        std::vector<int> pos;
        for (const demo::vertex_c &v : obj.polygons[k].vertices)
            pos.push_back(v.pos);
        EXPECT_EQ(pos, expected[k]) << "face " << k;
    }

    std::string path = write_file("bare.obj", "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nf 1 2 3 4\n"
                                              "f 1 2\n");
    load_result r = load(obj, path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, "Polygon with <3 vertices!!\n");
    EXPECT_EQ(r.out, "Loading object " + path + "... "); // no " done"
    expect_empty(obj); // the earlier mesh is gone too: nothing half-loaded is drawn
}

// The vertex normals as first described: for each position, search every
// face for its first corner there and sum the normals of the faces found,
// in face order.
std::vector<fcoord3d_s> normals_by_search(const obj3d_c &obj) {
    std::vector<fcoord3d_s> normals;
    for (unsigned i = 0; i < obj.nvertices; ++i) {
        fcoord3d_s sum = {0, 0, 0, 0};
        for (const demo::polygon3d_c &poly : obj.polygons)
            if (std::find_if(poly.vertices.begin(), poly.vertices.end(),
                             demo::vertex_pos_is(static_cast<int>(i))) != poly.vertices.end())
                demo::vect4_translate(sum, obj.coords[poly.normal], sum);
        if (demo::vect4_length(sum) > 0)
            demo::vect4_normalize(sum);
        normals.push_back(sum);
    }
    return normals;
}

TEST(Loader, VertexNormalsAreThoseOfThePerPositionSearchBitForBit) {
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        const int positions = 3 + static_cast<int>(rng() % 40);
        std::string text;
        for (int i = 0; i < positions; ++i)
            text += "v " + std::to_string(static_cast<int>(rng() % 2001) / 100.0 - 10) + " " +
                    std::to_string(static_cast<int>(rng() % 2001) / 100.0 - 10) + " " +
                    std::to_string(static_cast<int>(rng() % 2001) / 100.0 - 10) + "\n";
        const int faces = 1 + static_cast<int>(rng() % 60);
        for (int k = 0; k < faces; ++k) {
            text += "f";
            const int corners = 3 + static_cast<int>(rng() % 4); // positions may repeat
            for (int c = 0; c < corners; ++c)
                text += " " + std::to_string(1 + rng() % positions) + (rng() % 2 ? "//1" : "");
            text += "\n";
        }
        obj3d_c obj;
        ASSERT_TRUE(load_quietly(obj, text)) << text; // faces without a normal are only reported
        const std::vector<fcoord3d_s> expected = normals_by_search(obj);
        const std::size_t first = obj.nvertices + obj.polygons.size();
        ASSERT_EQ(obj.coords.size(), first + expected.size());
        ASSERT_EQ(
            std::memcmp(&obj.coords[first], expected.data(), expected.size() * sizeof(fcoord3d_s)),
            0)
            << text;
        for (const demo::polygon3d_c &poly : obj.polygons)
            for (const demo::vertex_c &v : poly.vertices)
                ASSERT_EQ(v.normal, static_cast<int>(first) + v.pos);
    }
}

// Numbers in "v" lines read as `>>` of a stream reads them, bit for bit:
// plain and exponent forms, signs, leading and trailing zeros, more digits
// than a double holds, underflow, and a number running into the next.
TEST(Loader, PositionsReadAsTheStreamReadsThem) {
    const char *forms[] = {"%.6f", "%.17g", "%g", "%.3e", "%.25f", "%.0f.", "%.9fE-7", "%.12f0000"};
    const char *fixed[] = {".5",
                           "-.25e+2",
                           "00012.50",
                           "4.9e-324",
                           "1e-400",
                           "1.2.3",
                           "123456789012345678901234567890e-10",
                           "9007199254740993",
                           "-0"};
    std::mt19937 rng(11);
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        char number[3][96];
        for (char *n : number) {
            const double v =
                std::ldexp(static_cast<double>(rng()), static_cast<int>(rng() % 80) - 60);
            if (rng() % 4 == 0) {
                std::snprintf(n, 96, "%s", fixed[rng() % 9]);
                continue;
            }
            std::snprintf(n + 1, 95, forms[rng() % 8], v);
            n[0] = "+- "[rng() % 3];
        }
        text += std::string("v ") + number[0] + (rng() % 2 ? "\t" : " ") + number[1] + " " +
                number[2] + (rng() % 3 ? "\n" : "\r\n");
    }
    std::vector<fcoord3d_s> expected;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(2));
        fcoord3d_s p = {0, 0, 0, 1};
        ASSERT_TRUE(words >> p.x >> p.y >> p.z) << line; // else the loader ends the process
        expected.push_back(p);
    }
    obj3d_c obj;
    ASSERT_TRUE(load_quietly(obj, text));
    ASSERT_EQ(obj.nvertices, expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(std::memcmp(&obj.coords[i], &expected[i], sizeof expected[i]), 0) << i;
}

TEST(Loader, MissingFileLeavesTheObjectAsItWas) {
    obj3d_c obj;
    ASSERT_TRUE(load_quietly(obj, unit_cube_obj));
    obj.position = fcoord3d_s{1, 2, 3, 1};
    obj.rotation = fcoord3d_s{4, 5, 6, 0};
    std::string path = testing::TempDir() + "no/such/mesh.obj";
    load_result r = load(obj, path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Unable to open file " + path + "\n");
    expect_vec(obj.position, 1, 2, 3, 1);
    expect_vec(obj.rotation, 4, 5, 6, 0);
    EXPECT_EQ(obj.coords.size(), 22u);

    obj3d_c fresh;
    load(fresh, path);
    expect_empty(fresh);
}

TEST(Loader, CornerIndicesOutsideThePositionsFailTheLoad) {
    // -5 reaches back before the first of the four positions.
    const char *bad[] = {"f 1/1 2/2 5/5\n", "f 0/0 1/1 2/2\n", "f 1/1 -5/1 2/2\n",
                         "f 1/1 2/2 3/3 2147483647/1\n", "f 1 2 -2147483648\n"};
    for (const char *face : bad) {
        obj3d_c obj;
        std::string text = std::string("v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\n\n") + face;
        std::string path = write_file("badindex.obj", text);
        load_result r = load(obj, path);
        EXPECT_FALSE(r.ok) << face;
        EXPECT_NE(r.err.find("line 6 of " + path), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("done"), std::string::npos);
        expect_empty(obj);
        if (std::strstr(face, "-5/")) {
            EXPECT_EQ(r.err, "Bad vertex index -5 on line 6 of " + path +
                                 " (the file has 4 vertices)\n"
                                 "A negative index counts back from the 4 vertices before its "
                                 "line\n");
        }
    }
}

TEST(Loader, ShortVertexLineEndsTheProcess) {
    std::string path = write_file("badv.obj", "# mesh\nv 0 0 0\nv 1 2\nv 0 0 1\n");
    obj3d_c obj;
    EXPECT_EXIT(obj.load_obj(path), testing::KilledBySignal(SIGABRT),
                "Syntax error in obj file: Vertex 2 is all bad on line 3\n");
    std::string second = write_file("badv2.obj", "v 1 x 3\n");
    EXPECT_EXIT(obj.load_obj(second), testing::KilledBySignal(SIGABRT),
                "Syntax error in obj file: Vertex 1 is all bad on line 1\n");
}

TEST(Loader, DegenerateGeometryGetsZeroNormalsAndIsNeverDrawn) {
    // Face 2 has three corners on one line; position 5 belongs to no face.
    obj3d_c obj;
    std::string path = write_file("degenerate.obj", "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 2 0 0\n"
                                                    "v 7 7 7\n"
                                                    "f 1/1 2/2 3/3\nf 1/1 2/2 4/4\n");
    unsigned long checks = demo::check_failure_count();
    load_result r = load(obj, path);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(demo::check_failure_count(), checks) << r.err;
    EXPECT_EQ(r.err, "Face on line 7 of " + path + " has no normal: it is never drawn\n");
    expect_vec(obj.coords[obj.polygons[1].normal], 0, 0, 0, 0);
    expect_vec(obj.coords[5 + 2 + 4], 0, 0, 0, 0); // vertex normal of position 5
    for (const fcoord3d_s &c : obj.coords)
        EXPECT_FALSE(std::isnan(c.x) || std::isnan(c.y) || std::isnan(c.z));

    std::vector<fcoord3d_s> world(obj.coords.size());
    obj.transform(world);
    std::vector<const demo::polygon3d_c *> order;
    demo::sortpolygon3d_backtofront(obj.polygons, world, order);
    ASSERT_EQ(order.size(), 1u);
    EXPECT_EQ(order[0], &obj.polygons[0]);
}

TEST(Loader, RepeatedPositionInAFaceSharesOneNormal) {
    obj3d_c obj;
    ASSERT_TRUE(load_quietly(obj, "v 0 0 0\nv 1 0 0\nv 1 0 1\nf 1/1 2/2 3/3 1/1\n"));
    const demo::polygon3d_c &face = obj.polygons[0];
    EXPECT_EQ(face.vertices[0].normal, face.vertices[3].normal);
    EXPECT_EQ(face.vertices[0].normal, 3 + 1 + 0);
    expect_vec(obj.coords[face.vertices[0].normal], 0, -1, 0, 0); // counted once
}

TEST(Loader, SecondLoadReplacesTheMesh) {
    obj3d_c obj;
    ASSERT_TRUE(load_quietly(obj, unit_cube_obj));
    obj.rotation.x = 1;
    ASSERT_TRUE(load_quietly(obj, "v 0 0 0\nv 1 0 0\nv 1 0 1\nf 1/1 2/2 3/3\n"));
    EXPECT_EQ(obj.nvertices, 3u);
    EXPECT_EQ(obj.coords.size(), 3u + 1u + 3u);
    EXPECT_EQ(obj.polygons.size(), 1u);
    EXPECT_EQ(obj.rotation.x, 0);
}

TEST(Loader, PlaceholderLoaderChangesNothing) {
    obj3d_c obj;
    ASSERT_TRUE(load_quietly(obj, unit_cube_obj));
    EXPECT_FALSE(obj.load_fake());
    EXPECT_EQ(obj.coords.size(), 22u);
}

} // namespace
