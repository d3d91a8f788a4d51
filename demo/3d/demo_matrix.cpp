// Vector and 4x4 matrix arithmetic in double precision.
#include "demo/3d/demo_matrix.h"

#include "demo/check.h"

#include <cmath>

namespace demo {

void vect4_translate(const fcoord3d_s &a, const fcoord3d_s &b, fcoord3d_s &out) {
    for (int i = 0; i < 4; ++i)
        out[i] = a[i] + b[i];
}

void vect4_sub(const fcoord3d_s &a, const fcoord3d_s &b, fcoord3d_s &out) {
    for (int i = 0; i < 4; ++i)
        out[i] = a[i] - b[i];
}

double vect4_length(const fcoord3d_s &v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

void vect4_normalize(fcoord3d_s &v) {
    // A zero vector has no direction: report it and keep the vector, so no
    // NaN comes out of here.
    // clang-format off
    DEMO_CHECK(vect4_length(v));
    // clang-format on
    double r = 1.0 / vect4_length(v);
    v.x *= r;
    v.y *= r;
    v.z *= r;
}

double vect4_dot_ident(const fcoord3d_s &a, const fcoord3d_s &b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

void vect4_cross_nonorm(const fcoord3d_s &a, const fcoord3d_s &b, fcoord3d_s &out) {
    out.x = a.y * b.z - a.z * b.y;
    out.y = a.z * b.x - a.x * b.z;
    out.z = a.x * b.y - a.y * b.x;
}

void matrix4_c::mkident() {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m[i][j] = i == j ? 1.0 : 0.0;
}

void matrix4_c::mkrotX(double angle) {
    double c = std::cos(angle), s = std::sin(angle);
    mkident();
    m[1][1] = c;
    m[1][2] = s;
    m[2][1] = -s;
    m[2][2] = c;
}

void matrix4_c::mkrotY(double angle) {
    double c = std::cos(angle), s = std::sin(angle);
    mkident();
    m[0][0] = c;
    m[0][2] = -s;
    m[2][0] = s;
    m[2][2] = c;
}

void matrix4_c::mkrotZ(double angle) {
    double c = std::cos(angle), s = std::sin(angle);
    mkident();
    m[0][0] = c;
    m[0][1] = -s;
    m[1][0] = s;
    m[1][1] = c;
}

void matrix4_c::mkrot(const fcoord3d_s &axis, double angle) {
    double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    double x = axis.x, y = axis.y, z = axis.z;
    m[0][0] = t * x * x + c;
    m[0][1] = t * x * y - s * z;
    m[0][2] = t * x * z + s * y;
    m[0][3] = 0.0;
    m[1][0] = t * x * y + s * z;
    m[1][1] = t * y * y + c;
    m[1][2] = t * y * z - s * x;
    m[1][3] = 0.0;
    m[2][0] = t * x * z - s * y;
    m[2][1] = t * y * z + s * x;
    m[2][2] = t * z * z + c;
    m[2][3] = 0.0;
    m[3][0] = m[3][1] = m[3][2] = 0.0;
    m[3][3] = 1.0;
}

void matrix4_c::mktranslate(const fcoord3d_s &v) {
    mkident();
    m[0][3] = v.x;
    m[1][3] = v.y;
    m[2][3] = v.z;
    m[3][3] = v.w;
}

matrix4_c matrix4_c::operator*(const matrix4_c &o) const {
    matrix4_c r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += m[i][k] * o.m[k][j];
            r.m[i][j] = sum;
        }
    return r;
}

fcoord3d_s matrix4_c::operator*(const fcoord3d_s &p) const {
    // Written out row by row: this runs once per mesh coordinate per frame.
    fcoord3d_s r;
    r.x = m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3] * p.w;
    r.y = m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3] * p.w;
    r.z = m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3] * p.w;
    r.w = m[3][0] * p.x + m[3][1] * p.y + m[3][2] * p.z + m[3][3] * p.w;
    return r;
}

matrix4_c &matrix4_c::operator*=(const matrix4_c &o) {
    // The product goes through a temporary, so m *= m is right.
    *this = *this * o;
    return *this;
}

} // namespace demo
