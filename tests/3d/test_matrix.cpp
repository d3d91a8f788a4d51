// Vectors and 4x4 matrices: component access, vector operations, rotation signs, products.
#include "mesh_test_support.h"

#include "demo/3d/demo_matrix.h"
#include "demo/check.h"

#include <gtest/gtest.h>

#include <cmath>

using demo::fcoord3d_s;
using demo::matrix4_c;
using test3d::expect_vec;
using test3d::reported;
using test3d::reports;

namespace {

const double pi = 3.14159265358979323846;

void expect_same(const matrix4_c &a, const matrix4_c &b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(a.m[i][j], b.m[i][j], 1e-12) << "element " << i << "," << j;
}

TEST(Vector, ComponentsByIndexAndName) {
    fcoord3d_s v = {1, 2, 3, 4};
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[3], 4);
    v[2] = 9;
    EXPECT_EQ(v.z, 9);
    const fcoord3d_s &c = v;
    EXPECT_EQ(c[1], 2);
}

TEST(Vector, AddAndSubtractCoverW) {
    fcoord3d_s a = {1, 2, 3, 1}, b = {10, 20, 30, 1};
    demo::vect4_translate(a, b, b); // output is the second input
    expect_vec(b, 11, 22, 33, 2);
    demo::vect4_translate(a, b, a); // output is the first input
    expect_vec(a, 12, 24, 36, 3);

    fcoord3d_s p = {5, 6, 7, 1}, q = {1, 1, 1, 1}, d;
    demo::vect4_sub(p, q, d);
    expect_vec(d, 4, 5, 6, 0); // two positions give a direction
    demo::vect4_sub(p, q, p);
    expect_vec(p, 4, 5, 6, 0);
}

TEST(Vector, LengthDotAndNormalizeIgnoreW) {
    EXPECT_DOUBLE_EQ(demo::vect4_length(fcoord3d_s{3, 4, 0, 99}), 5);
    EXPECT_DOUBLE_EQ(demo::vect4_dot_ident(fcoord3d_s{1, 2, 3, 100}, fcoord3d_s{4, 5, 6, 100}), 32);
    fcoord3d_s v = {0, 0, 2, 7};
    demo::vect4_normalize(v);
    expect_vec(v, 0, 0, 1, 7);
}

TEST(Vector, NormalizingZeroReportsAndKeepsTheVector) {
    fcoord3d_s v = {0, 0, 0, 5};
    const reports normalized = reported([&] { demo::vect4_normalize(v); });
    EXPECT_EQ(normalized.checks, 1u);
    EXPECT_NE(normalized.err.find("vect4_length(v)"), std::string::npos) << normalized.err;
    expect_vec(v, 0, 0, 0, 5); // no NaN
}

TEST(Vector, CrossProductLeavesW) {
    fcoord3d_s out = {7, 7, 7, 42};
    demo::vect4_cross_nonorm(fcoord3d_s{1, 0, 0, 0}, fcoord3d_s{0, 1, 0, 0}, out);
    expect_vec(out, 0, 0, 1, 42);
    demo::vect4_cross_nonorm(fcoord3d_s{0, 2, 0, 0}, fcoord3d_s{3, 0, 0, 0}, out);
    expect_vec(out, 0, 0, -6, 42); // not normalised, order matters
}

TEST(Matrix, RotationSigns) {
    matrix4_c m;
    m.mkrotZ(pi / 2);
    expect_vec(m * fcoord3d_s{1, 0, 0, 1}, 0, 1, 0, 1);
    m.mkrotX(pi / 2);
    expect_vec(m * fcoord3d_s{0, 1, 0, 1}, 0, 0, -1, 1);
    m.mkrotY(pi / 2);
    expect_vec(m * fcoord3d_s{1, 0, 0, 1}, 0, 0, 1, 1);
}

TEST(Matrix, AxisRotationMatchesTheFixedOnes) {
    for (double a : {0.3, -1.2, 2.5}) {
        matrix4_c axis, fixed;
        axis.mkrot(fcoord3d_s{0, 0, 1, 123}, a); // w of the axis plays no part
        fixed.mkrotZ(a);
        expect_same(axis, fixed);
        axis.mkrot(fcoord3d_s{1, 0, 0, 0}, a);
        fixed.mkrotX(-a);
        expect_same(axis, fixed);
        axis.mkrot(fcoord3d_s{0, 1, 0, 0}, a);
        fixed.mkrotY(-a);
        expect_same(axis, fixed);
    }
}

TEST(Matrix, TranslationUsesTheWholeLastColumn) {
    matrix4_c m;
    m.mktranslate(fcoord3d_s{1, 2, 3, 1});
    expect_vec(m * fcoord3d_s{0, 0, 0, 1}, 1, 2, 3, 1);
    expect_vec(m * fcoord3d_s{5, 5, 5, 0}, 5, 5, 5, 0); // directions do not move
    m.mktranslate(fcoord3d_s{1, 2, 3, 0});
    expect_vec(m * fcoord3d_s{0, 0, 0, 1}, 1, 2, 3, 0);
}

TEST(Matrix, ProductsApplyTheRightOperandFirst) {
    matrix4_c t, r;
    t.mktranslate(fcoord3d_s{10, 0, 0, 1});
    r.mkrotZ(pi / 2);
    // rotate (1,0,0) to (0,1,0), then move by 10 along x
    expect_vec((t * r) * fcoord3d_s{1, 0, 0, 1}, 10, 1, 0, 1);
    expect_vec((r * t) * fcoord3d_s{1, 0, 0, 1}, 0, 11, 0, 1);

    matrix4_c acc = t;
    acc *= r;
    expect_same(acc, t * r);

    matrix4_c self;
    self.mkrotX(0.4);
    matrix4_c twice;
    twice.mkrotX(0.8);
    self *= self; // in place with itself as the right operand
    expect_same(self, twice);

    matrix4_c id;
    id.mkident();
    expect_same(id * r, r);
    expect_same(r * id, r);
}

} // namespace
