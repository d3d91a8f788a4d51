// Double-precision points, vectors and 4x4 matrices for the 3D pipeline.
#pragma once

namespace demo {

// A point or direction: x to the viewer's right, y away from the viewer, z up;
// w is 1 for positions and unused for directions. No constructor: a default
// value is uninitialised. Components can also be reached by index 0..3.
struct fcoord3d_s {
    double x, y, z, w;

    double &operator[](int i) { return this->*members[i]; }
    const double &operator[](int i) const { return this->*members[i]; }

  private:
    static constexpr double fcoord3d_s::*members[4] = {&fcoord3d_s::x, &fcoord3d_s::y,
                                                       &fcoord3d_s::z, &fcoord3d_s::w};
};
typedef fcoord3d_s fcoord3d_t;

// out = a + b over all four components; out may alias a or b.
void vect4_translate(const fcoord3d_s &a, const fcoord3d_s &b, fcoord3d_s &out);
// out = a - b over all four components; out may alias a or b.
void vect4_sub(const fcoord3d_s &a, const fcoord3d_s &b, fcoord3d_s &out);
// Length of (x, y, z); w plays no part.
double vect4_length(const fcoord3d_s &v);
// Scales x, y and z to unit length; w is kept. A zero vector fails a check
// and is left unchanged.
void vect4_normalize(fcoord3d_s &v);
// x, y and z dot product; w plays no part.
double vect4_dot_ident(const fcoord3d_s &a, const fcoord3d_s &b);
// out.xyz = a x b (right-handed, not normalised); out.w is not written.
// out must not alias a or b.
void vect4_cross_nonorm(const fcoord3d_s &a, const fcoord3d_s &b, fcoord3d_s &out);

// A 4x4 matrix m[row][column] acting on column vectors (p' = M p): in A * B,
// B acts first. No constructor: each mk builder overwrites all 16 elements.
class matrix4_c {
  public:
    double m[4][4];

    void mkident();
    // X and Y turn opposite to the right-handed rotations for positive
    // angles (the transposes of the textbook matrices); Z is right-handed.
    void mkrotX(double angle);
    void mkrotY(double angle);
    void mkrotZ(double angle);
    // Rotation by angle about axis (x, y, z), used as given (not normalised);
    // right-handed for a unit axis.
    void mkrot(const fcoord3d_s &axis, double angle);
    // The identity with its last column replaced by v (w included).
    void mktranslate(const fcoord3d_s &v);

    matrix4_c operator*(const matrix4_c &o) const;
    // All four components, w included; no division by w.
    fcoord3d_s operator*(const fcoord3d_s &p) const;
    // this = this * o; safe when o is this matrix.
    matrix4_c &operator*=(const matrix4_c &o);
};

} // namespace demo
