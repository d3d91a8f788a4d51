// Drawing toolkit of the picture generator: colours, coverage masks, shapes, noise, Targa output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tgagen {

// A colour in display (sRGB) space, each channel 0..1.
struct Colour {
    float r, g, b;
};

inline Colour rgb(unsigned hex) {
    return {((hex >> 16) & 0xff) / 255.0f, ((hex >> 8) & 0xff) / 255.0f, (hex & 0xff) / 255.0f};
}
inline Colour operator+(Colour a, Colour b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Colour operator*(Colour a, float k) {
    return {a.r * k, a.g * k, a.b * k};
}
inline Colour operator*(Colour a, Colour b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
inline Colour mix(Colour a, Colour b, float t) {
    return a * (1 - t) + b * t;
}

float clamp01(float v);
float smoothstep(float edge0, float edge1, float v);

// Picks a colour along stops at positions 0..1 (positions ascending).
struct Stop {
    float at;
    Colour colour;
};
Colour gradient(const std::vector<Stop> &stops, float t);

// Deterministic noise: a hash in [0, 1) per lattice point, smooth value
// noise, and fractal sums of it. The same arguments give the same value on
// every run.
float hash(int x, int y, uint32_t seed);
float value_noise(float x, float y, uint32_t seed);
float fbm(float x, float y, uint32_t seed, int octaves);

// Signed distances (negative inside), in pixels.
float sd_circle(float px, float py, float cx, float cy, float r);
float sd_capsule(float px, float py, float ax, float ay, float bx, float by, float r);
float sd_round_box(float px, float py, float cx, float cy, float hw, float hh, float r,
                   float angle = 0);
float smooth_union(float a, float b, float k);

// Coverage of every pixel of a canvas-sized area, 0..1.
class Mask {
  public:
    Mask(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    float at(int x, int y) const;
    float &ref(int x, int y) { return a_[y * width_ + x]; }

    // Anti-aliased coverage of a signed-distance shape: d(x, y) at pixel centres.
    template <class Distance> static Mask shape(int width, int height, Distance d) {
        return field(width, height, [&](float x, float y) { return 0.5f - d(x, y); });
    }

    // Coverage given directly: f(x, y) clamped to 0..1, averaged over n x n
    // points in every pixel (n > 1 for fine patterns that a single sample per
    // pixel would alias; n = 1 samples the pixel centre).
    template <class F> static Mask field(int width, int height, F f, int n = 1) {
        Mask m(width, height);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                float sum = 0;
                for (int j = 0; j < n; j++)
                    for (int i = 0; i < n; i++)
                        sum += clamp01(f(x + (i + 0.5f) / n, y + (j + 0.5f) / n));
                m.ref(x, y) = sum / (n * n);
            }
        return m;
    }

    Mask blurred(int radius) const;     // three box passes, close to a Gaussian
    Mask shifted(int dx, int dy) const; // moved by whole pixels, zero filled
    Mask &multiply(const Mask &other);  // intersection
    Mask &subtract(const Mask &other);  // this minus other
    Mask &unite(const Mask &other);     // max of both
    Mask &scale(float k);

  private:
    int width_, height_;
    std::vector<float> a_;
};

class Canvas {
  public:
    Canvas(int width, int height, Colour fill);
    int width() const { return width_; }
    int height() const { return height_; }
    Colour &at(int x, int y) { return c_[y * width_ + x]; }
    const Colour &at(int x, int y) const { return c_[y * width_ + x]; }

    // Calls f(x, y, colour) for every pixel, x and y at the pixel centre.
    template <class F> void each(F f) {
        for (int y = 0; y < height_; y++)
            for (int x = 0; x < width_; x++)
                f(x + 0.5f, y + 0.5f, at(x, y));
    }
    // Lays colour(x, y) over the canvas with the mask's coverage times opacity.
    template <class F> void paint(const Mask &m, F colour, float opacity = 1) {
        for (int y = 0; y < height_; y++)
            for (int x = 0; x < width_; x++) {
                float a = m.at(x, y) * opacity;
                if (a > 0)
                    at(x, y) = mix(at(x, y), colour(x + 0.5f, y + 0.5f), a);
            }
    }
    void paint(const Mask &m, Colour c, float opacity = 1) {
        paint(
            m, [c](float, float) { return c; }, opacity);
    }
    // Adds light: colour times coverage times strength (for glows).
    void glow(const Mask &m, Colour c, float strength);

    // The picture as an uncompressed 32-bit Targa file: 18-byte header,
    // 20-byte image ID, top row first, alpha 255, lightly dithered.
    std::vector<uint8_t> targa(const std::string &id, uint32_t seed) const;

  private:
    int width_, height_;
    std::vector<Colour> c_;
};

} // namespace tgagen
