// Exact pixel results of the 2D rasterizer: interpolator, span writers, lines, polygons, triangles.
#include "demo/2d/demo_2d.h"
#include "padded_frame.h"
#include "tests/support/captured_output.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

using namespace vorbo_test;
using demo::coord2d_s;

namespace {

const unsigned red = 0x00ff0000u;

std::vector<int> values(int start, int end, int n, int count) {
    demo::Interpolate_num<int> in(start, end, n);
    std::vector<int> out(count);
    in.getN(count, out.data());
    return out;
}

using vorbo_test::stderr_of;

// The report names the module, the expression text and nothing else failed.
void expect_one_check(const std::string &err, const std::string &text) {
    EXPECT_EQ(err.rfind("demo/2d/demo_2d.cpp:", 0), 0u) << err;
    EXPECT_NE(err.find("check `" + text + "' failed."), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

demo::polygon2d_c polygon(std::vector<coord2d_s> points, unsigned colour = red) {
    demo::polygon2d_c p;
    p.points = std::move(points);
    p.colour = colour;
    return p;
}

demo::triangle2d_s triangle(coord2d_s a, coord2d_s b, coord2d_s c, unsigned colour = red) {
    demo::triangle2d_s t;
    t.vertex[0] = a;
    t.vertex[1] = b;
    t.vertex[2] = c;
    t.colour = colour;
    return t;
}

// Rows k = 0..rows-1 covering columns 0..last(k).
PixelSet staircase(int rows, const std::function<int(int)> &last) {
    PixelSet set;
    for (int k = 0; k < rows; ++k)
        for (int x = 0; x <= last(k); ++x)
            set.insert({x, k});
    return set;
}

} // namespace

TEST(Interpolator, WorkedExamples) {
    EXPECT_EQ(values(0, 10, 4, 4), (std::vector<int>{0, 3, 5, 8}));
    EXPECT_EQ(values(10, 0, 4, 4), (std::vector<int>{10, 7, 5, 2}));
    EXPECT_EQ(values(0, 3, 6, 6), (std::vector<int>{0, 1, 1, 2, 2, 3}));
    EXPECT_EQ(values(0, 1, 1, 1), (std::vector<int>{0}));
    EXPECT_EQ(values(7, 7, 3, 3), (std::vector<int>{7, 7, 7}));
    EXPECT_EQ(values(0, 100, 3, 4), (std::vector<int>{0, 33, 67, 100}));
    // Over no steps a request stays at the start instead of looping for ever.
    EXPECT_EQ(values(4, 9, 0, 2), (std::vector<int>{4, 4}));
}

TEST(Interpolator, GetNOfZeroOrLessChangesNothing) {
    demo::Interpolate_num<int> in(0, 10, 4);
    int out[2] = {-7, -7};
    in.getN(0, out);
    in.getN(-3, out);
    EXPECT_EQ(out[0], -7);
    EXPECT_EQ(in.get(), 0);
    EXPECT_EQ(in.get(), 3);
}

TEST(Interpolator, ExtremeRangesDoNotOverflow) {
    EXPECT_EQ(values(INT_MIN, INT_MAX, 2, 3), (std::vector<int>{INT_MIN, 0, INT_MAX}));
    EXPECT_EQ(values(INT_MAX, INT_MIN, 1, 2), (std::vector<int>{INT_MAX, INT_MIN}));
}

class Spans : public PaddedFrame {};

TEST_F(Spans, FlatRunIsClosedAndNeverReversed) {
    demo::draw_poly_line_rgba8888<bool>(3, 7, 7, false, false, red);
    demo::draw_poly_line_rgba8888<bool>(4, 7, 6, false, false, red);
    demo::draw_poly_line_rgba8888<bool>(5, 9, 2, false, false, red);
    demo::draw_poly_line_rgba8888<bool>(6, 0, 639, false, false, red);
    expect_exactly(rect(7, 7, 3, 3) + rect(0, 639, 6, 6), red);
}

TEST_F(Spans, FlatRunOutsideTheFrameIsDroppedNotClamped) {
    const std::string err = stderr_of([] {
        demo::draw_poly_line_rgba8888<bool>(-1, 0, 10, false, false, red);
        demo::draw_poly_line_rgba8888<bool>(480, 0, 10, false, false, red);
        demo::draw_poly_line_rgba8888<bool>(1, -9, -1, false, false, red);
        demo::draw_poly_line_rgba8888<bool>(2, 640, 700, false, false, red);
        demo::draw_poly_line_rgba8888<bool>(3, -5, 2, false, false, red);
        demo::draw_poly_line_rgba8888<bool>(4, 636, INT_MAX, false, false, red);
        demo::draw_poly_line_rgba8888<bool>(5, INT_MIN, INT_MAX, false, false, red);
    });
    EXPECT_EQ(err, "");
    expect_exactly(rect(0, 2, 3, 3) + rect(636, 639, 4, 4) + rect(0, 639, 5, 5), red);
}

TEST_F(Spans, GouraudRunIsHalfOpenAndOrdersItsEnds) {
    demo::draw_poly_line_rgba8888<demo::shade_t>(0, 5, 5, 256, 256, red);
    demo::draw_poly_line_rgba8888<demo::shade_t>(1, 5, 6, 256, 0, red);
    demo::draw_poly_line_rgba8888<demo::shade_t>(2, 0, 639, 256, 256, red);
    expect_exactly(rect(5, 5, 1, 1) + rect(0, 638, 2, 2), red);

    // Ends given right to left, shades exchanged with them: the same pixels.
    clear_frame();
    demo::draw_poly_line_rgba8888<demo::shade_t>(9, 10, 20, 50, 256, 0xffffff);
    const auto forward = drawn();
    std::vector<unsigned> row(lines[9], lines[9] + 640);
    clear_frame();
    demo::draw_poly_line_rgba8888<demo::shade_t>(9, 20, 10, 256, 50, 0xffffff);
    EXPECT_EQ(drawn(), forward);
    EXPECT_EQ(std::vector<unsigned>(lines[9], lines[9] + 640), row);
}

TEST_F(Spans, ShadingArithmetic) {
    auto shade_one = [this](demo::shade_t s, unsigned colour) {
        demo::draw_poly_line_rgba8888<demo::shade_t>(0, 0, 1, s, s, colour);
        return at(0, 0);
    };
    EXPECT_EQ(shade_one(256, 0xab123456u), 0xab123456u);
    EXPECT_EQ(shade_one(0, 0xab123456u), 0xab000000u);
    EXPECT_EQ(shade_one(128, 0x00ff8001u), 0x007f4000u);
    // Not clamped: each byte keeps the low 8 bits of (b * s) >> 8.
    EXPECT_EQ(shade_one(512, 0x00ff8001u), 0x00fe0002u);
    EXPECT_EQ(shade_one(-256, 0x00ff8001u), 0x000180ffu);

    // 50 to 256 over four pixels uses 50, 102, 153, 205.
    demo::draw_poly_line_rgba8888<demo::shade_t>(1, 0, 4, 50, 256, 0x00ffffffu);
    const int expected[4] = {50, 102, 153, 205};
    for (int i = 0; i < 4; ++i) {
        unsigned b = (255u * expected[i]) >> 8;
        EXPECT_EQ(at(i, 1), (b << 16) | (b << 8) | b) << i;
    }
}

TEST_F(Spans, GouraudChecksReportAndDrawNothing) {
    struct Case {
        int c, x_s, x_e;
        const char *text;
    } cases[] = {{480, 0, 5, "0<=c && 480>c"},         {-1, 0, 5, "0<=c && 480>c"},
                 {0, 5, -1, "x_s>=0 && x_s<640"},      {0, 5, 640, "x_e>=0 && x_e<640"},
                 {0, INT_MIN, 3, "x_s>=0 && x_s<640"}, {0, 3, INT_MAX, "x_e>=0 && x_e<640"}};
    for (const Case &k : cases) {
        std::string err = stderr_of([&] {
            demo::draw_poly_line_rgba8888<demo::shade_t>(k.c, k.x_s, k.x_e, 256, 256, red);
        });
        expect_one_check(err, k.text);
        EXPECT_NE(err.find("draw_poly_line_rgba8888"), std::string::npos) << err;
    }
    expect_exactly({}, red);
}

class Lines : public PaddedFrame {};

TEST_F(Lines, ExamplesOmitTheEndPointUnlessHorizontal) {
    struct Case {
        int x1, y1, x2, y2;
        PixelSet pixels;
    } cases[] = {
        {0, 0, 3, 1, {{0, 0}, {1, 0}, {2, 1}}},
        {0, 0, 1, 3, {{0, 0}, {0, 1}, {1, 2}}},
        {5, 0, 5, 3, {{5, 0}, {5, 1}, {5, 2}}},
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
        {3, 3, 0, 0, {{3, 3}, {2, 2}, {1, 1}}},
        {3, 7, 0, 7, rect(0, 3, 7, 7)},
        {2, 2, 2, 2, {{2, 2}}},
        {-3, 5, 3, 5, rect(0, 3, 5, 5)},
        {639, 479, 645, 485, {{639, 479}}},
        {-2, -2, 2, 2, {{0, 0}, {1, 1}}},
        {-10, 480, 630, 480, {}},
        {INT_MIN, 3, INT_MAX, 3, rect(0, 639, 3, 3)},
    };
    for (const Case &k : cases) {
        clear_frame();
        demo::drawline2d_val(k.x1, k.y1, k.x2, k.y2, red);
        SCOPED_TRACE(testing::Message() << k.x1 << "," << k.y1 << " to " << k.x2 << "," << k.y2);
        expect_exactly(k.pixels, red);
    }
}

TEST_F(Lines, OutlineIsOpen) {
    demo::drawpoly2d_wireframe(polygon({{0, 0}, {10, 0}, {10, 10}}));
    expect_exactly(rect(0, 10, 0, 0) + rect(10, 10, 1, 9), red);
    clear_frame();
    demo::drawpoly2d_wireframe(polygon({{0, 0}, {10, 0}}));
    expect_exactly({}, red);
}

class Polygons : public PaddedFrame {};

TEST_F(Polygons, SquaresInBothWindings) {
    const auto ccw = polygon({{10, 10}, {10, 20}, {20, 20}, {20, 10}});
    demo::drawpoly2d<bool>(ccw);
    expect_exactly(rect(9, 20, 10, 20), red);
    clear_frame();
    demo::drawpoly2d<demo::shade_t>(
        polygon({{10, 10, 256}, {10, 20, 256}, {20, 20, 256}, {20, 10, 256}}));
    expect_exactly(rect(9, 19, 10, 20), red);

    const auto cw = polygon({{10, 10, 256}, {20, 10, 256}, {20, 20, 256}, {10, 20, 256}});
    clear_frame();
    demo::drawpoly2d<bool>(cw);
    expect_exactly({}, red);
    demo::drawpoly2d<demo::shade_t>(cw);
    expect_exactly(rect(10, 18, 10, 20), red);
}

TEST_F(Polygons, TrianglesInBothWindings) {
    const auto a = polygon({{0, 0, 256}, {0, 10, 256}, {10, 0, 256}});
    demo::drawpoly2d<bool>(a);
    expect_exactly(staircase(11, [](int k) { return 10 - k; }), red);
    clear_frame();
    demo::drawpoly2d<demo::shade_t>(a);
    expect_exactly(staircase(10, [](int k) { return 9 - k; }), red);

    const auto b = polygon({{0, 0, 256}, {10, 0, 256}, {0, 10, 256}});
    clear_frame();
    demo::drawpoly2d<bool>(b);
    expect_exactly({{0, 10}}, red);
    clear_frame();
    demo::drawpoly2d<demo::shade_t>(b);
    const int last[10] = {8, 7, 6, 5, 4, 3, 3, 2, 1, 0};
    expect_exactly(staircase(10, [&](int k) { return last[k]; }), red);
}

TEST_F(Polygons, ShadesFollowTheEdgesAndRows) {
    // Shade 0 down the left edge, 256 down the right: each row runs from
    // column 9 over 11 pixels with shade round(k * 256 / 11).
    demo::drawpoly2d<demo::shade_t>(
        polygon({{10, 10, 0}, {10, 20, 0}, {20, 20, 256}, {20, 10, 256}}, 0x00ffffffu));
    for (int y = 10; y <= 20; ++y)
        for (int k = 0; k < 11; ++k) {
            unsigned s = (2 * k * 256 + 11) / 22;
            unsigned b = (255 * s) >> 8;
            ASSERT_EQ(at(9 + k, y), (b << 16) | (b << 8) | b) << k << "," << y;
        }
}

TEST_F(Polygons, DegenerateOnesDrawNothingSilently) {
    const std::string err = stderr_of([] {
        demo::drawpoly2d<bool>(polygon({{0, 0}, {5, 5}}));
        demo::drawpoly2d<demo::shade_t>(polygon({{0, 0}, {5, 5}}));
        demo::drawpoly2d<bool>(polygon({{0, 7}, {5, 7}, {9, 7}, {2, 7}}));
        demo::drawpoly2d<demo::shade_t>(polygon({{0, 7}, {5, 7}, {9, 7}, {2, 7}}));
    });
    EXPECT_EQ(err, "");
    expect_exactly({}, red);
}

TEST_F(Polygons, RefusedWithACheckMessage) {
    struct Case {
        std::vector<coord2d_s> points;
        const char *text;
    } cases[] = {
        {{{-1, 0}, {0, 10}, {10, 10}}, "ledge[c]>=0 && ledge[c]<640"},
        {{{0, 0}, {0, 10}, {640, 5}}, "redge[c]>=0 && redge[c]<640"},
        // A zigzag left chain turns back up in y: not monotone.
        {{{5, 0}, {5, 20}, {9, 5}, {12, 30}, {30, 0}}, "chain_rows + dy <= rows"},
        {{{5, 0}, {5, 3000}, {30, 0}}, "rows <= max_poly_rows"},
        {{{5, INT_MIN}, {5, INT_MAX}, {30, 0}}, "rows <= max_poly_rows"},
    };
    for (const Case &k : cases) {
        expect_one_check(stderr_of([&] { demo::drawpoly2d<bool>(polygon(k.points)); }), k.text);
        expect_one_check(stderr_of([&] { demo::drawpoly2d<demo::shade_t>(polygon(k.points)); }),
                         k.text);
    }
    expect_exactly({}, red);
}

TEST_F(Polygons, RowsOutsideTheFrame) {
    // The flat fill drops the rows outside the frame without a word.
    const auto tall = polygon({{5, -4, 256}, {5, 483, 256}, {9, 483, 256}, {9, -4, 256}});
    EXPECT_EQ(stderr_of([&] { demo::drawpoly2d<bool>(tall); }), "");
    expect_exactly(rect(4, 9, 0, 479), red);
    // The Gouraud fill's span writer reports each of them and draws the rest.
    clear_frame();
    const std::string err = stderr_of([&] { demo::drawpoly2d<demo::shade_t>(tall); });
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 8);
    EXPECT_NE(err.find("check `0<=c && 480>c' failed."), std::string::npos);
    expect_exactly(rect(4, 8, 0, 479), red);
}

class Triangles : public PaddedFrame {};

TEST_F(Triangles, RightTriangleInEveryCornerOrder) {
    coord2d_s v[3] = {{0, 0, 256}, {10, 0, 256}, {0, 10, 256}};
    const int order[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto &o : order) {
        const auto t = triangle(v[o[0]], v[o[1]], v[o[2]]);
        clear_frame();
        demo::drawtriangle2d_flat(t);
        expect_exactly(staircase(10, [](int k) { return 10 - k; }), red);
        clear_frame();
        demo::drawtriangle2d_gourad(t);
        expect_exactly(staircase(10, [](int k) { return 9 - k; }), red);
    }
}

TEST_F(Triangles, DegenerateOnes) {
    demo::drawtriangle2d_flat(triangle({0, 0}, {5, 5}, {10, 10}));
    PixelSet diagonal;
    for (int k = 0; k < 10; ++k)
        diagonal.insert({k, k});
    expect_exactly(diagonal, red);
    clear_frame();
    demo::drawtriangle2d_gourad(triangle({0, 0, 256}, {5, 5, 256}, {10, 10, 256}));
    demo::drawtriangle2d_flat(triangle({0, 4}, {5, 4}, {10, 4}));
    demo::drawtriangle2d_gourad(triangle({0, 4, 256}, {5, 4, 256}, {10, 4, 256}));
    expect_exactly({}, red);
}

TEST_F(Triangles, EdgesOfTheAcceptedRange) {
    // Row 480 and column 640 are accepted as corners but never written; the
    // Gouraud row that reaches column 640 fails its span writer's check.
    auto rows = [](int width) {
        PixelSet set;
        for (int k = 0; k < 10; ++k)
            set = set + rect(630, std::min(639, 630 + width - k), 470 + k, 470 + k);
        return set;
    };
    const auto t = triangle({630, 470, 256}, {640, 470, 256}, {630, 480, 256});
    EXPECT_EQ(stderr_of([&] { demo::drawtriangle2d_flat(t); }), "");
    expect_exactly(rows(10), red);
    clear_frame();
    expect_one_check(stderr_of([&] { demo::drawtriangle2d_gourad(t); }), "x_e>=0 && x_e<640");
    expect_exactly(rows(9) - rect(630, 639, 470, 470), red);
}

TEST_F(Triangles, FlatChecksNameTheOrderedCorner) {
    struct Case {
        coord2d_s a, b, c;
        const char *text;
    } cases[] = {
        {{0, -1}, {0, 0}, {5, 5}, "!((p[0]->y < 0) || (p[0]->y > 480))"},
        {{0, 0}, {5, 5}, {0, -1}, "!((p[0]->y < 0) || (p[0]->y > 480))"},
        {{0, 0}, {5, 481}, {9, 490}, "!((p[1]->y < 0) || (p[1]->y > 480))"},
        {{0, 0}, {5, 481}, {9, 2}, "!((p[2]->y < 0) || (p[2]->y > 480))"},
        {{-1, 0}, {0, 5}, {5, 9}, "!((p[0]->x < 0) || (p[0]->x > 640))"},
        {{0, 0}, {641, 5}, {0, 10}, "!((p[1]->x < 0) || (p[1]->x > 640))"},
        {{0, 9}, {641, 10}, {0, 0}, "!((p[2]->x < 0) || (p[2]->x > 640))"},
    };
    for (const Case &k : cases) {
        const auto t = triangle(k.a, k.b, k.c);
        std::string err = stderr_of([&] { demo::drawtriangle2d_flat(t); });
        expect_one_check(err, k.text);
        EXPECT_NE(err.find("drawtriangle2d_flat"), std::string::npos) << err;
        EXPECT_EQ(stderr_of([&] { demo::drawtriangle2d_gourad(t); }), "");
    }
    expect_exactly({}, red);
}

TEST_F(Triangles, GouraudShading) {
    const auto white = 0x00ffffffu;
    demo::drawtriangle2d_gourad(triangle({0, 0, 0}, {8, 0, 256}, {0, 8, 0}, white));
    EXPECT_EQ(drawn(), staircase(8, [](int k) { return 7 - k; }));
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i <= 7 - k; ++i) {
            unsigned b = (255u * 32u * i) >> 8;
            EXPECT_EQ(at(i, k), (b << 16) | (b << 8) | b) << i << "," << k;
        }
    EXPECT_EQ(at(7, 0), 0x00dfdfdfu);

    clear_frame();
    demo::drawtriangle2d_gourad(triangle({3, 2, 256}, {40, 9, 256}, {7, 30, 256}, 0xab123456u));
    for (const auto &p : drawn())
        ASSERT_EQ(at(p.first, p.second), 0xab123456u);
    EXPECT_FALSE(drawn().empty());
}
