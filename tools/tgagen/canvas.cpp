// Drawing toolkit of the picture generator: masks, noise, distance shapes and the Targa writer.
#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace tgagen {

float clamp01(float v) {
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

float smoothstep(float edge0, float edge1, float v) {
    float t = clamp01((v - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

Colour gradient(const std::vector<Stop> &stops, float t) {
    if (t <= stops.front().at)
        return stops.front().colour;
    for (std::size_t i = 1; i < stops.size(); i++)
        if (t <= stops[i].at) {
            float span = stops[i].at - stops[i - 1].at;
            float k = span > 0 ? (t - stops[i - 1].at) / span : 1;
            return mix(stops[i - 1].colour, stops[i].colour, k);
        }
    return stops.back().colour;
}

float hash(int x, int y, uint32_t seed) {
    uint32_t h = seed * 0x9e3779b9u ^ uint32_t(x) * 0x85ebca6bu ^ uint32_t(y) * 0xc2b2ae35u;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return (h >> 8) * (1.0f / 16777216.0f);
}

float value_noise(float x, float y, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    float top = hash(ix, iy, seed) * (1 - tx) + hash(ix + 1, iy, seed) * tx;
    float bottom = hash(ix, iy + 1, seed) * (1 - tx) + hash(ix + 1, iy + 1, seed) * tx;
    return top * (1 - ty) + bottom * ty;
}

float fbm(float x, float y, uint32_t seed, int octaves) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int i = 0; i < octaves; i++) {
        sum += value_noise(x, y, seed + i * 101) * amplitude;
        total += amplitude;
        x = x * 2.03f + 17.1f;
        y = y * 2.03f - 9.7f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float sd_circle(float px, float py, float cx, float cy, float r) {
    return std::hypot(px - cx, py - cy) - r;
}

float sd_capsule(float px, float py, float ax, float ay, float bx, float by, float r) {
    float pax = px - ax, pay = py - ay, bax = bx - ax, bay = by - ay;
    float h = clamp01((pax * bax + pay * bay) / (bax * bax + bay * bay));
    return std::hypot(pax - bax * h, pay - bay * h) - r;
}

float sd_round_box(float px, float py, float cx, float cy, float hw, float hh, float r,
                   float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    float x = (px - cx) * c + (py - cy) * s;
    float y = -(px - cx) * s + (py - cy) * c;
    float qx = std::fabs(x) - hw + r, qy = std::fabs(y) - hh + r;
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - r;
}

float smooth_union(float a, float b, float k) {
    float h = clamp01(0.5f + 0.5f * (b - a) / k);
    return b * (1 - h) + a * h - k * h * (1 - h);
}

Mask::Mask(int width, int height) : width_(width), height_(height), a_(width * height, 0.0f) {}

float Mask::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0;
    return a_[y * width_ + x];
}

namespace {

// One box pass along rows (step 1) or columns (step width) of a plane.
void box_pass(std::vector<float> &v, int count, int length, int stride, int step, int radius) {
    std::vector<float> line(length);
    float norm = 1.0f / (2 * radius + 1);
    for (int i = 0; i < count; i++) {
        float *base = v.data() + i * stride;
        for (int k = 0; k < length; k++)
            line[k] = base[k * step];
        // Running sum; samples beyond the ends count as 0.
        float sum = 0;
        for (int k = 0; k <= radius && k < length; k++)
            sum += line[k];
        for (int k = 0; k < length; k++) {
            base[k * step] = sum * norm;
            if (k + radius + 1 < length)
                sum += line[k + radius + 1];
            if (k - radius >= 0)
                sum -= line[k - radius];
        }
    }
}

} // namespace

Mask Mask::blurred(int radius) const {
    Mask m = *this;
    if (radius <= 0)
        return m;
    for (int pass = 0; pass < 3; pass++) {
        box_pass(m.a_, height_, width_, width_, 1, radius);
        box_pass(m.a_, width_, height_, 1, width_, radius);
    }
    return m;
}

Mask Mask::shifted(int dx, int dy) const {
    Mask m(width_, height_);
    for (int y = 0; y < height_; y++)
        for (int x = 0; x < width_; x++)
            m.ref(x, y) = at(x - dx, y - dy);
    return m;
}

Mask &Mask::multiply(const Mask &other) {
    for (std::size_t i = 0; i < a_.size(); i++)
        a_[i] *= other.a_[i];
    return *this;
}

Mask &Mask::subtract(const Mask &other) {
    for (std::size_t i = 0; i < a_.size(); i++)
        a_[i] *= 1 - other.a_[i];
    return *this;
}

Mask &Mask::unite(const Mask &other) {
    for (std::size_t i = 0; i < a_.size(); i++)
        a_[i] = std::max(a_[i], other.a_[i]);
    return *this;
}

Mask &Mask::scale(float k) {
    for (float &v : a_)
        v = clamp01(v * k);
    return *this;
}

Canvas::Canvas(int width, int height, Colour fill)
    : width_(width), height_(height), c_(width * height, fill) {}

void Canvas::glow(const Mask &m, Colour c, float strength) {
    for (int y = 0; y < height_; y++)
        for (int x = 0; x < width_; x++) {
            float a = m.at(x, y) * strength;
            if (a > 0)
                at(x, y) = at(x, y) + c * a;
        }
}

std::vector<uint8_t> Canvas::targa(const std::string &id, uint32_t seed) const {
    std::vector<uint8_t> out(18 + 20, 0);
    out[0] = 20; // image ID length: the pixels start at byte 38
    out[2] = 2;  // uncompressed true colour
    out[12] = width_ & 0xff;
    out[13] = width_ >> 8;
    out[14] = height_ & 0xff;
    out[15] = height_ >> 8;
    out[16] = 32;   // bits per pixel
    out[17] = 0x28; // top row first, 8 alpha bits
    for (std::size_t i = 0; i < 20 && i < id.size(); i++)
        out[18 + i] = id[i];
    out.reserve(out.size() + 4u * width_ * height_);
    for (int y = 0; y < height_; y++)
        for (int x = 0; x < width_; x++) {
            const Colour &c = at(x, y);
            // Triangular dither of one level hides banding in the dark gradients.
            float d = hash(x, y, seed) + hash(x, y, seed + 1) - 1;
            auto level = [d](float v) {
                if (v <= 0) // black stays black: the pictures meet the black frame
                    return uint8_t(0);
                float q = std::round(clamp01(v) * 255 + d);
                return uint8_t(q < 0 ? 0 : q > 255 ? 255 : q);
            };
            out.push_back(level(c.b));
            out.push_back(level(c.g));
            out.push_back(level(c.r));
            out.push_back(255);
        }
    return out;
}

} // namespace tgagen
