// Randomised properties of the 2D rasterizer: twin pixel loops agree, shapes stay in bounds.
#include "demo/2d/demo_2d.h"
#include "demo/2d/spans.h"
#include "padded_frame.h"
#include "tests/support/captured_output.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using namespace vorbo_test;
using demo::coord2d_s;

namespace {

// The interpolator exactly as first described: step while the error term is
// non-negative, then add twice the distance.
std::vector<long long> stepped_values(long long start, long long end, long long n, int count) {
    long long d = end > start ? end - start : start - end;
    long long value = start, step = end > start ? 1 : -1, err = 2 * d - n;
    std::vector<long long> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(value);
        while (err >= 0) {
            value += step;
            err -= 2 * n;
        }
        err += 2 * d;
    }
    return out;
}

// A line exactly as first described, plotting only what lies in the frame.
PixelSet stepped_line(int x1, int y1, int x2, int y2) {
    PixelSet set;
    auto plot = [&](long long x, long long y) {
        if (x >= 0 && x < 640 && y >= 0 && y < 480)
            set.insert({int(x), int(y)});
    };
    if (y1 == y2) {
        for (long long x = std::min(x1, x2); x <= std::max(x1, x2); ++x)
            plot(x, y1);
        return set;
    }
    long long dx = x2 - x1, dy = y2 - y1, sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
    bool y_major = std::llabs(dy) > std::llabs(dx);
    long long L = y_major ? std::llabs(dy) : std::llabs(dx);
    long long m = y_major ? std::llabs(dx) : std::llabs(dy);
    long long x = x1, y = y1, err = 2 * m - L;
    for (long long i = 0; i < L; ++i) {
        plot(x, y);
        while (err >= 0) {
            (y_major ? x : y) += y_major ? sx : sy;
            err -= 2 * L;
        }
        (y_major ? y : x) += y_major ? sy : sx;
        err += 2 * m;
    }
    return set;
}

#if defined(__SIZEOF_INT128__)
// The stepping in closed form, evaluated in 128 bits: pixel k (0 <= k < L)
// of a line with major length L and minor length m sits at minor offset
// floor((2km + L) / 2L). Only the frame's own major coordinates are visited,
// so a line from one end of int to the other costs one row or column.
PixelSet exact_line(int x1, int y1, int x2, int y2) {
    using wide = __int128;
    const wide dx = wide(x2) - x1, dy = wide(y2) - y1;
    const wide adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool y_major = ady > adx;
    const wide L = y_major ? ady : adx, m = y_major ? adx : ady;
    const wide major0 = y_major ? y1 : x1, minor0 = y_major ? x1 : y1;
    const int major_dir = (y_major ? dy : dx) > 0 ? 1 : -1;
    const int minor_dir = (y_major ? dx : dy) > 0 ? 1 : -1;
    const int major_size = y_major ? 480 : 640, minor_size = y_major ? 640 : 480;
    PixelSet set;
    for (int c = 0; c < major_size; ++c) {
        const wide k = (c - major0) * major_dir;
        if (k < 0 || k >= L)
            continue;
        const wide minor = minor0 + minor_dir * ((2 * k * m + L) / (2 * L));
        if (minor >= 0 && minor < minor_size)
            set.insert(y_major ? std::make_pair(int(minor), c) : std::make_pair(c, int(minor)));
    }
    return set;
}
#endif

class Random2d : public PaddedFrame {
  protected:
    std::mt19937 rng{20240611};
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    // n angles in order round an ellipse (clockwise when reversed): corners
    // placed at them make a convex polygon, so one monotone in y.
    std::vector<double> ellipse_angles(int n, bool reversed) {
        std::vector<double> angles(n);
        for (double &a : angles)
            a = std::uniform_real_distribution<double>(0, 6.283185307179586)(rng);
        std::sort(angles.begin(), angles.end());
        if (reversed)
            std::reverse(angles.begin(), angles.end());
        return angles;
    }

    // A coordinate that may be anywhere: inside, near, far or at the ends of int.
    int any_coordinate(int size) {
        switch (uniform(0, 5)) {
        case 0:
            return uniform(-60, size + 60);
        case 1:
            return uniform(-2000000, 2000000);
        case 2:
            return uniform(0, 1) ? INT_MIN + uniform(0, 3) : INT_MAX - uniform(0, 3);
        default:
            return uniform(0, size);
        }
    }

    // Nothing outside columns x0..x1 and rows y0..y1 changed; then clears.
    void expect_within(int x0, int x1, int y0, int y1) {
        for (int y = 0; y < 480; ++y) {
            const unsigned *row = lines[y];
            bool whole = y < y0 || y > y1;
            for (int x = 0; x < 640; ++x)
                if ((whole || x < x0 || x > x1) && row[x] != background)
                    FAIL() << "pixel " << x << "," << y << " outside " << x0 << ".." << x1 << " x "
                           << y0 << ".." << y1;
        }
        clear_frame();
    }
};

} // namespace

TEST(InterpolatorProperty, MatchesTheErrorTermStepping) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int i = 0; i < 5000; ++i) {
        const int range = i % 2 ? 1000 : 200000;
        const int start = pick(-range, range), end = pick(-range, range), n = pick(1, 300);
        const int count = pick(0, n + 1);
        demo::Interpolate_num<int> in(start, end, n);
        std::vector<int> got(count);
        in.getN(count, got.data());
        const auto want = stepped_values(start, end, n, count);
        ASSERT_TRUE(std::equal(got.begin(), got.end(), want.begin()))
            << start << " to " << end << " over " << n;
    }
}

// getN takes whole runs at once; it must leave the same values and the same
// fields as that many get() calls, from any state, including states no
// constructor makes.
TEST(InterpolatorProperty, GetNEqualsOneGetAtATime) {
    std::mt19937 rng(17);
    auto pick = [&](long long lo, long long hi) {
        return std::uniform_int_distribution<long long>(lo, hi)(rng);
    };
    for (int i = 0; i < 20000; ++i) {
        const int wide = i % 3 == 0 ? INT_MAX : 600;
        demo::Interpolate_num<int> a(int(pick(-wide, wide)), int(pick(-wide, wide)),
                                     int(pick(i % 50 ? 1 : -3, 700)));
        if (i % 7 == 0) { // fields set by hand
            a.value = pick(-1000, 1000);
            a.step = pick(0, 1) ? 1 : -1;
            a.err_dec = pick(-2, 2000);
            a.err_inc = pick(-2, 3000);
            a.err = pick(-5000, 5000);
        }
        demo::Interpolate_num<int> b = a;
        for (int round = 0; round < 4; ++round) {
            const int count = int(pick(-1, 40));
            std::vector<int> got(count > 0 ? count : 0), want(got.size());
            a.getN(count, got.data());
            for (int &w : want)
                w = b.get();
            ASSERT_EQ(got, want) << "round " << round;
            ASSERT_EQ(a.value, b.value);
            ASSERT_EQ(a.err, b.err);
            ASSERT_EQ(a.step, b.step);
            ASSERT_EQ(a.err_dec, b.err_dec);
            ASSERT_EQ(a.err_inc, b.err_inc);
        }
    }
}

// The fixed-point stepping of the vector span loop and of the polygon edges
// against the interpolator, for every length it takes and the distances
// where its arithmetic changes (below and from 1024, multiples of the length,
// the ends of int).
TEST(InterpolatorFixedPoint, MatchesGetNForEveryLength) {
    std::mt19937 rng(19);
    const int guard = 0x7e7e7e7e;
    for (int n = 1; n <= demo::spans::fixed_point_max_run; ++n) {
        const long long distances[] = {0,
                                       1,
                                       n - 1LL,
                                       n,
                                       n + 1LL,
                                       1023,
                                       1024,
                                       2047,
                                       3LL * n + 1,
                                       4294967295LL,
                                       206,
                                       static_cast<long long>(rng() % 1024),
                                       static_cast<long long>(rng() % 100000)};
        for (long long d : distances) {
            for (int down = 0; down < 2; ++down) {
                // A start that keeps start + d or start - d an int.
                long long lo = down ? INT_MIN + d : INT_MIN, hi = down ? INT_MAX : INT_MAX - d;
                long long start = n % 3 == 0
                                      ? (down ? hi : lo)
                                      : lo + (long long)(rng() % (unsigned long long)(hi - lo + 1));
                if (d <= 1024 && n % 3 != 0)
                    start = down ? 256 : 50;
                const int s = int(start), e = int(down ? start - d : start + d);
                std::vector<int> want(n);
                demo::Interpolate_num<int>(s, e, n).getN(n, want.data());
                std::vector<int> got(n + 3, guard);
                demo::spans::fixed_point_values(s, e, n, got.data());
                ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin()))
                    << s << " to " << e << " over " << n;
                ASSERT_EQ(got[n], guard) << "wrote past the run";
#if defined(__SSE2__)
                std::vector<int> four(n + 4, guard);
                demo::spans::fixed_point_values_sse2(s, e, n, four.data());
                ASSERT_TRUE(std::equal(want.begin(), want.end(), four.begin()))
                    << "sse2: " << s << " to " << e << " over " << n;
                ASSERT_EQ(four[n + 3], guard) << "sse2 wrote more than three past the run";
#endif
            }
        }
    }
}

TEST(SpanTwins, ScalarShadeMatchesTheSignedProductFormula) {
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; ++i) {
        const unsigned colour = rng();
        const int shade = i % 3 ? int(rng() % 600) - 100 : int(rng());
        unsigned out;
        demo::spans::shade_scalar(&out, &shade, 1, colour);
        unsigned want = colour & 0xff000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            long long product = static_cast<long long>((colour >> shift) & 0xff) * shade;
            want |= static_cast<unsigned>((product >> 8) & 0xff) << shift;
        }
        ASSERT_EQ(out, want) << std::hex << colour << " shade " << std::dec << shade;
    }
}

#if defined(__SSE2__)
TEST(SpanTwins, VectorAndScalarAreBitIdentical) {
    std::mt19937 rng(13);
    const int pad = 8;
    for (int i = 0; i < 20000; ++i) {
        // Lengths past one row exercise the scalar twin's scratch refills.
        const int count = int(rng() % (i % 10 ? 150 : 1400)), offset = int(rng() % 4);
        const unsigned colour = rng();
        const int wide = i % 4 == 0;
        const int s0 = wide ? int(rng()) : int(rng() % 300) - 20;
        const int s1 = wide ? int(rng()) : int(rng() % 300) - 20;
        std::vector<unsigned> a(count + 2 * pad + 4, 0x12345678u), b = a;
        unsigned *pa = a.data() + pad + offset, *pb = b.data() + pad + offset;
        demo::spans::shade_run_scalar(pa, count, s0, s1, colour);
        demo::spans::shade_run_sse2(pb, count, s0, s1, colour);
        ASSERT_EQ(a, b) << "shade, count " << count << " offset " << offset << " " << s0 << ".."
                        << s1;
        demo::spans::fill_scalar(pa, count, colour ^ 0x5a5a5a5au);
        demo::spans::fill_sse2(pb, count, colour ^ 0x5a5a5a5au);
        ASSERT_EQ(a, b) << "fill, count " << count << " offset " << offset;
    }
}
#endif

#if defined(__SSE2__)
// Every run length the span writer can pass, and past the fixed-point limit,
// at every alignment, for shade pairs at the edges of the arithmetic.
TEST(SpanTwins, EveryLengthAndAlignment) {
    const int pairs[][2] = {
        {50, 256}, {256, 50},          {0, 1023},          {1023, 0},  {0, 1024},
        {7, 7},    {INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}, {-300, 90}, {65535, 65536 + 9}};
    const int pad = 8;
    for (int count = 0; count <= demo::spans::fixed_point_max_run + 6; ++count) {
        for (const auto &p : pairs) {
            const int offset = count % 4;
            const unsigned colour = 0xa5c08040u ^ unsigned(count * 2654435761u);
            std::vector<unsigned> a(count + 2 * pad + 4, 0x12345678u), b = a;
            unsigned *pa = a.data() + pad + offset, *pb = b.data() + pad + offset;
            demo::spans::shade_run_scalar(pa, count, p[0], p[1], colour);
            demo::spans::shade_run_sse2(pb, count, p[0], p[1], colour);
            ASSERT_EQ(a, b) << "count " << count << " shades " << p[0] << ".." << p[1];
        }
    }
}
#endif

TEST_F(Random2d, LinesMatchTheSteppingWhereverTheyLie) {
    for (int i = 0; i < 2000; ++i) {
        const bool inside = i % 2 == 0;
        const int x1 = inside ? uniform(0, 639) : uniform(-900, 1500);
        const int y1 = inside ? uniform(0, 479) : uniform(-900, 1500);
        const int x2 = inside ? uniform(0, 639) : uniform(-900, 1500);
        const int y2 = i % 7 == 0 ? y1 : inside ? uniform(0, 479) : uniform(-900, 1500);
        demo::drawline2d_val(x1, y1, x2, y2, 0xff);
        const PixelSet want = stepped_line(x1, y1, x2, y2);
        for (const auto &p : want)
            ASSERT_EQ(at(p.first, p.second), 0xffu);
        for (const auto &p : want)
            lines[p.second][p.first] = background;
        if (inside) {
            EXPECT_EQ(want.size(),
                      size_t(y1 == y2 ? std::abs(x2 - x1) + 1
                                      : std::max(std::abs(x2 - x1), std::abs(y2 - y1))));
        }
        expect_within(0, -1, 0, -1); // nothing but the expected pixels
    }
    EXPECT_TRUE(guards_intact());
}

#if defined(__SIZEOF_INT128__)
// Lines through the frame from anywhere in int, out to its very ends: the
// jump to the first pixel inside the frame lands where the stepping would,
// with products of up to 66 bits.
TEST_F(Random2d, LinesFromTheEndsOfIntMatchTheExactStepping) {
    auto far = [&]() -> int {
        switch (uniform(0, 3)) {
        case 0:
            return uniform(0, 1) ? INT_MIN + uniform(0, 2) : INT_MAX - uniform(0, 2);
        case 1:
            return uniform(-2000000000, 2000000000);
        default:
            return uniform(-70000, 70000);
        }
    };
    for (int i = 0; i < 2000; ++i) {
        // Through a point of the frame (its midpoint when the far end's mirror
        // fits an int), or from one far point to another.
        const int px = uniform(-2, 641), py = uniform(-2, 481);
        const int x1 = far(), y1 = far();
        const long long mx = 2LL * px - x1, my = 2LL * py - y1;
        const bool mirrored = i % 4 != 0;
        const int x2 = mirrored ? int(std::clamp<long long>(mx, INT_MIN, INT_MAX)) : far();
        int y2 = mirrored ? int(std::clamp<long long>(my, INT_MIN, INT_MAX)) : far();
        if (y2 == y1) // a row fill, not the stepping
            y2 = y1 == INT_MAX ? y1 - 1 : y1 + 1;
        demo::drawline2d_val(x1, y1, x2, y2, 0xff);
        const PixelSet want = exact_line(x1, y1, x2, y2);
        for (const auto &p : want)
            ASSERT_EQ(at(p.first, p.second), 0xffu) << x1 << "," << y1 << " to " << x2 << "," << y2
                                                    << " at " << p.first << "," << p.second;
        for (const auto &p : want)
            lines[p.second][p.first] = background;
        expect_within(0, -1, 0, -1); // nothing but the expected pixels
        if (HasFatalFailure())
            return;
    }
    EXPECT_TRUE(guards_intact());
}
#endif

TEST_F(Random2d, ConvexPolygonsStayInTheirBox) {
    const std::string err = vorbo_test::stderr_of([&] {
        for (int i = 0; i < 2000; ++i) {
            // Corners on an ellipse in angle order: convex, so monotone in y.
            const int n = uniform(3, 9);
            const double cx = uniform(81, 558), cy = uniform(81, 398);
            const double rx = uniform(10, 80), ry = uniform(10, 80);
            const std::vector<double> angles = ellipse_angles(n, i % 2 != 0);
            demo::polygon2d_c poly;
            poly.colour = 0x00c0ffeeu;
            for (double a : angles)
                poly.points.push_back({int(std::lround(cx + rx * std::cos(a))),
                                       int(std::lround(cy + ry * std::sin(a))), 256});
            int x0 = 640, x1 = -1, y0 = 480, y1 = -1;
            for (const auto &p : poly.points) {
                x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
                y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
            }
            if (i % 4 < 2)
                demo::drawpoly2d<bool>(poly);
            else
                demo::drawpoly2d<demo::shade_t>(poly);
            for (int y = y0; y <= y1; ++y)
                for (int x = x0 - 1; x <= x1; ++x)
                    ASSERT_TRUE(at(x, y) == background || at(x, y) == poly.colour);
            expect_within(x0 - 1, x1, y0, y1);
        }
    });
    EXPECT_EQ(err, "");
    EXPECT_TRUE(guards_intact());
}

TEST_F(Random2d, TrianglesStayInTheirBox) {
    // A Gouraud row reaching column 640 is reported: standard error is dropped.
    vorbo_test::stderr_of([&] {
        for (int i = 0; i < 3000; ++i) {
            demo::triangle2d_s t;
            t.colour = 0x00123456u;
            for (auto &v : t.vertex)
                v = {uniform(0, 640), uniform(0, 480), uniform(0, 256)};
            int x0 = 640, x1 = 0, y0 = 480, y1 = 0;
            for (const auto &v : t.vertex) {
                x0 = std::min(x0, v.x), x1 = std::max(x1, v.x);
                y0 = std::min(y0, v.y), y1 = std::max(y1, v.y);
            }
            if (i % 2)
                demo::drawtriangle2d_flat(t);
            else
                demo::drawtriangle2d_gourad(t);
            // The bottom row is never drawn; the Gouraud rows are half-open.
            expect_within(x0, std::min(639, i % 2 ? x1 : x1 - 1), y0, y1 - 1);
        }
    });
    EXPECT_TRUE(guards_intact());
}

TEST_F(Random2d, AnyInputStaysInTheFrame) {
    // What lies outside the frame is reported: standard error is dropped.
    vorbo_test::stderr_of([&] {
        for (int i = 0; i < 6000; ++i) {
            demo::polygon2d_c poly;
            poly.colour = rng();
            const int n = uniform(0, 8);
            // Half the polygons are random points in the frame, mostly not monotone.
            const bool framed = i % 2 == 0;
            for (int k = 0; k < n; ++k)
                poly.points.push_back({framed ? uniform(0, 639) : any_coordinate(640),
                                       framed ? uniform(0, 479) : any_coordinate(480),
                                       i % 3 ? uniform(-300, 600) : int(rng())});
            switch (i % 5) {
            case 0:
                demo::drawpoly2d<bool>(poly);
                break;
            case 1:
                demo::drawpoly2d<demo::shade_t>(poly);
                break;
            case 2:
                demo::drawpoly2d_wireframe(poly);
                break;
            case 3:
                if (n >= 3) {
                    demo::triangle2d_s t;
                    std::copy(poly.points.begin(), poly.points.begin() + 3, t.vertex);
                    t.colour = poly.colour;
                    demo::drawtriangle2d_flat(t);
                    demo::drawtriangle2d_gourad(t);
                }
                break;
            default:
                demo::drawline2d_val(any_coordinate(640), any_coordinate(480), any_coordinate(640),
                                     any_coordinate(480), poly.colour);
                demo::draw_poly_line_rgba8888<bool>(any_coordinate(480), any_coordinate(640),
                                                    any_coordinate(640), false, false, poly.colour);
                demo::draw_poly_line_rgba8888<demo::shade_t>(
                    any_coordinate(480), any_coordinate(640), any_coordinate(640), int(rng()),
                    int(rng()), poly.colour);
            }
        }
    });
    EXPECT_TRUE(guards_intact());
}

// The polygon fill against a plain row-by-row fill built from the algorithm
// as first described: tables filled with get() one value at a time, then one
// span writer call per row. Rows may lie far outside the frame (the Gouraud
// writer reports each of them) and chains may be longer than the fixed-point
// edges take.
class PolygonsAgainstRowByRow : public Random2d {
  protected:
    template <typename T> void reference_fill(const demo::polygon2d_c &polygon) {
        const std::vector<coord2d_s> &pt = polygon.points;
        const int n = int(pt.size());
        int top = 0, bottom = 0;
        for (int i = 1; i < n; ++i) {
            if (pt[i].y < pt[top].y)
                top = i;
            if (pt[i].y > pt[bottom].y)
                bottom = i;
        }
        if (pt[top].y == pt[bottom].y)
            return; // nothing to fill
        const int rows = pt[bottom].y - pt[top].y + 1;
        std::vector<int> ledge, redge, lshade, rshade;
        std::vector<int> *edge = &ledge, *shade = &lshade;
        int cur = top;
        do {
            const int next = (cur + 1) % n;
            if (cur == bottom)
                edge = &redge, shade = &rshade;
            int dy = std::abs(pt[next].y - pt[cur].y) + (next == bottom || next == top);
            demo::Interpolate_num<int> x(pt[cur].x, pt[next].x, dy);
            demo::Interpolate_num<int> s(pt[cur].shade, pt[next].shade, dy);
            for (int k = 0; k < dy; ++k) {
                edge->push_back(x.get());
                shade->push_back(s.get());
            }
            cur = next;
        } while (cur != top);
        ASSERT_EQ(int(ledge.size()), rows);
        ASSERT_EQ(int(redge.size()), rows);
        for (int c = 0; c < rows; ++c) {
            const int r = rows - 1 - c;
            demo::draw_poly_line_rgba8888<T>(pt[top].y + c, ledge[c] == 0 ? 0 : ledge[c] - 1,
                                             redge[r], T(lshade[c]), T(rshade[r]), polygon.colour);
        }
    }

    // The frame's rows y0..y1 (clipped to the frame), then cleared.
    std::vector<unsigned> take_rows(int y0, int y1) {
        std::vector<unsigned> out;
        for (int y = std::max(y0, 0); y <= std::min(y1, 479); ++y) {
            out.insert(out.end(), lines[y], lines[y] + 640);
            std::fill(lines[y], lines[y] + 640, background);
        }
        return out;
    }

    // Runs draw, returning what it wrote on standard error when rows lie
    // outside the frame (only those are reported).
    template <typename F> std::string reports(bool outside, F &&draw) {
        if (!outside) {
            draw();
            return "";
        }
        return vorbo_test::stderr_of(draw);
    }
};

TEST_F(PolygonsAgainstRowByRow, FillMatchesTheReferenceFill) {
    for (int i = 0; i < 800; ++i) {
        // Convex: corners on an ellipse in angle order, columns inside the
        // frame; every fifth one reaches far above and below it.
        const bool tall = i % 5 == 0;
        const int n = uniform(3, 8);
        const double cx = uniform(0, 639), cy = uniform(-100, 580);
        const double rx = uniform(0, 320), ry = tall ? uniform(600, 1000) : uniform(1, 200);
        const std::vector<double> angles = ellipse_angles(n, i % 2 != 0);
        demo::polygon2d_c poly;
        poly.colour = rng();
        const int wide = i % 7 == 0 ? 100000 : 300;
        for (double a : angles) {
            const int x = int(std::lround(cx + rx * std::cos(a)));
            poly.points.push_back({std::min(639, std::max(0, x)),
                                   int(std::lround(cy + ry * std::sin(a))),
                                   uniform(-wide / 10, wide)});
        }
        int y0 = 480, y1 = -1;
        for (const auto &p : poly.points)
            y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        const bool outside = y0 < 0 || y1 > 479;
        const bool shaded = i % 4 != 0;
        const std::string got_err = reports(outside, [&] {
            if (shaded)
                demo::drawpoly2d<demo::shade_t>(poly);
            else
                demo::drawpoly2d<bool>(poly);
        });
        const std::vector<unsigned> got = take_rows(y0, y1);
        const std::string want_err = reports(outside, [&] {
            if (shaded)
                reference_fill<demo::shade_t>(poly);
            else
                reference_fill<bool>(poly);
        });
        ASSERT_TRUE(got == take_rows(y0, y1)) << "polygon " << i;
        ASSERT_EQ(got_err, want_err) << "polygon " << i;
    }
    EXPECT_TRUE(guards_intact());
}
