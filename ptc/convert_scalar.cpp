// Plain scalar row converters: the reference every vectorised converter must match bit for bit.
#include "ptc/convert_rows.h"

#include <cstdint>
#include <cstring>

namespace ptc_rows {

namespace {

// Pixels are host-order words, the frame's own and the display image's
// (which is created in the client's byte order; low byte first on x86).
// Rows may start at any byte address, so they move through memcpy, which is
// a plain load or store on x86.
inline std::uint32_t load32(const unsigned char *p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void store16(unsigned char *p, std::uint32_t v) {
    const std::uint16_t w = static_cast<std::uint16_t>(v);
    std::memcpy(p, &w, 2);
}

inline void store32(unsigned char *p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

// The 24-bit layouts are defined by memory order, whatever the host's.
inline void store24(unsigned char *p, std::uint32_t first, std::uint32_t second,
                    std::uint32_t third) {
    p[0] = static_cast<unsigned char>(first);
    p[1] = static_cast<unsigned char>(second);
    p[2] = static_cast<unsigned char>(third);
}

} // namespace

void scalar_copy(void *destination, const void *source, std::size_t bytes) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    for (std::size_t i = 0; i < bytes; ++i)
        d[i] = s[i];
}

void scalar_32_bgr888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t p = load32(s + 4 * i);
        store32(d + 4 * i, (p >> 16 & 0xFF) | (p & 0xFF00) | (p & 0xFF) << 16);
    }
}

void scalar_24_rgb888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t p = load32(s + 4 * i);
        store24(d + 3 * i, p, p >> 8, p >> 16); // B, G, R
    }
}

void scalar_24_bgr888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t p = load32(s + 4 * i);
        store24(d + 3 * i, p >> 16, p >> 8, p); // R, G, B
    }
}

void scalar_16_rgb565(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t p = load32(s + 4 * i);
        std::uint32_t r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
        store16(d + 2 * i, (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3);
    }
}

void scalar_16_bgr565(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t p = load32(s + 4 * i);
        std::uint32_t r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
        store16(d + 2 * i, (b & 0xF8) << 8 | (g & 0xFC) << 3 | r >> 3);
    }
}

void scalar_16_rgb555(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t p = load32(s + 4 * i);
        // Bit 15 stays clear: red's five bits end at bit 14.
        store16(d + 2 * i, (p >> 3 & 0x1F) | (p >> 6 & 0x3E0) | (p >> 9 & 0x7C00));
    }
}

void scalar_16_bgr555(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t p = load32(s + 4 * i);
        std::uint32_t r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
        store16(d + 2 * i, (b >> 3) << 10 | (g >> 3) << 5 | r >> 3);
    }
}

const kernel_set &scalar_kernels() {
    static const kernel_set set = {"scalar",         scalar_copy,      scalar_32_bgr888,
                                   scalar_24_rgb888, scalar_24_bgr888, scalar_16_rgb565,
                                   scalar_16_bgr565, scalar_16_rgb555, scalar_16_bgr555};
    return set;
}

} // namespace ptc_rows
