// Pixel loops of the span writers: a plain scalar twin and an SSE2 twin of each.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "demo/2d/demo_2d.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace demo {
namespace spans {

// Writes colour into dst[0..count-1]; nothing when count <= 0.
inline void fill_scalar(unsigned *dst, int count, unsigned colour) {
    if (count > 0)
        std::fill(dst, dst + count, colour);
}

// dst[i] = colour with each colour byte b replaced by (b * shades[i]) >> 8,
// low 8 bits, and the top byte kept. The product is taken as a signed 32-bit
// number and shifted arithmetically, but only bits 8..15 of it survive, and
// those are the same in unsigned wrap-around arithmetic, so any shade (even
// negative or far above 256) gives a defined result.
inline void shade_scalar(unsigned *dst, const int *shades, int count, unsigned colour) {
    const unsigned blue = colour & 0xffu;
    const unsigned green = (colour >> 8) & 0xffu;
    const unsigned red = (colour >> 16) & 0xffu;
    const unsigned top = colour & 0xff000000u;
    for (int i = 0; i < count; ++i) {
        const unsigned s = static_cast<unsigned>(shades[i]);
        dst[i] = top | (((red * s) << 8) & 0xff0000u) | ((green * s) & 0xff00u) |
                 (((blue * s) >> 8) & 0xffu);
    }
}

// The scalar Gouraud run: count pixels from dst on, shaded from s_start
// towards s_end over count steps. The shades are stepped into a scratch row
// (at most one row of the frame at a time) and then applied.
inline void shade_run_scalar(unsigned *dst, int count, int s_start, int s_end, unsigned colour) {
    Interpolate_num<int> shade(s_start, s_end, count);
    int scratch[640];
    for (int done = 0; done < count; done += 640) {
        const int chunk = std::min(640, count - done);
        shade.getN(chunk, scratch);
        shade_scalar(dst + done, scratch, chunk, colour);
    }
}

#if defined(__SSE2__)
inline void fill_sse2(unsigned *dst, int count, unsigned colour) {
    if (count < 4) {
        for (int i = 0; i < count; ++i)
            dst[i] = colour;
        return;
    }
    const __m128i v = _mm_set1_epi32(static_cast<int>(colour));
    // The last four pixels in one unaligned store; the stores before it may
    // overlap it, which only writes the same pixels twice.
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + count - 4), v);
    if (count < 64) {
        // Short runs: a trip count that depends on the length alone.
        for (int i = 0; i < count - 4; i += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), v);
        return;
    }
    // Long runs: one unaligned store for the head, aligned ones after it.
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), v);
    unsigned *p = reinterpret_cast<unsigned *>((reinterpret_cast<std::uintptr_t>(dst) + 16) &
                                               ~static_cast<std::uintptr_t>(15));
    // Pixels p .. p + left - 1 remain between the two end stores.
    std::ptrdiff_t left = (dst + count - 4) - p;
    for (; left >= 8; left -= 8, p += 8) {
        _mm_store_si128(reinterpret_cast<__m128i *>(p), v);
        _mm_store_si128(reinterpret_cast<__m128i *>(p + 4), v);
    }
    if (left > 0)
        _mm_store_si128(reinterpret_cast<__m128i *>(p), v);
    if (left > 4)
        _mm_store_si128(reinterpret_cast<__m128i *>(p + 4), v);
}

// The same pixels as shade_run_scalar, four at a time, without the scratch
// row. Lane j steps the shades of pixels j, j + 8, j + 16, ...: eight steps at
// once move the shade by a fixed whole amount plus a carry from a remainder
// kept in [0, 2n), exactly as the one-step interpolator does. The shades are
// kept modulo 2^32, which is exact: every one of them is an int between
// s_start and s_end. Only bits 8..15 of each byte product survive, and they
// depend only on the low 16 bits of the shade, so each channel is one 16-bit
// multiply (the upper 16-bit half of every lane multiplies by 0).
inline void shade_run_sse2(unsigned *dst, int count, int s_start, int s_end, unsigned colour) {
    if (count <= 0)
        return;
    if (count > (1 << 28)) { // remainders would not fit the 32-bit lanes
        shade_run_scalar(dst, count, s_start, s_end, colour);
        return;
    }
    // The distance of two ints fits 32 unsigned bits, and so does count.
    const unsigned d = s_end > s_start
                           ? static_cast<unsigned>(s_end) - static_cast<unsigned>(s_start)
                           : static_cast<unsigned>(s_start) - static_cast<unsigned>(s_end);
    const long long step = s_end > s_start ? 1 : -1;
    const long long twice_n = 2LL * count;
    const long long advance = step * static_cast<long long>(d / static_cast<unsigned>(count));
    const long long rem = 2 * static_cast<long long>(d % static_cast<unsigned>(count));
    // Shades and remainders of pixels 0..7: lanes of two vectors, whose
    // carry chains then run side by side.
    alignas(16) int lane_shade[8], lane_err[8];
    long long value = s_start, err = count;
    for (int j = 0; j < 8; ++j) {
        lane_shade[j] = static_cast<int>(static_cast<unsigned>(value));
        lane_err[j] = static_cast<int>(err);
        const long long over = err + rem - twice_n;
        const bool carry = over >= 0;
        err = carry ? over : over + twice_n;
        value += advance + (carry ? step : 0);
    }
    // Eight steps: 8 * rem < 8 * twice_n, so at most seven whole carries.
    long long advance8 = 8 * advance, rem8 = 8 * rem;
    while (rem8 >= twice_n) {
        rem8 -= twice_n;
        advance8 += step;
    }

    const __m128i advance_v = _mm_set1_epi32(static_cast<int>(static_cast<unsigned>(advance8)));
    const __m128i rem_v = _mm_set1_epi32(static_cast<int>(rem8));
    const __m128i twice_n_v = _mm_set1_epi32(static_cast<int>(twice_n));
    const __m128i limit_v = _mm_set1_epi32(static_cast<int>(twice_n - 1));
    const __m128i step_v = _mm_set1_epi32(static_cast<int>(step));
    const __m128i blue = _mm_set1_epi32(static_cast<int>(colour & 0xffu));
    const __m128i green = _mm_set1_epi32(static_cast<int>((colour >> 8) & 0xffu));
    const __m128i red = _mm_set1_epi32(static_cast<int>((colour >> 16) & 0xffu));
    const __m128i top = _mm_set1_epi32(static_cast<int>(colour & 0xff000000u));
    const __m128i mask_b = _mm_set1_epi32(0xff);
    const __m128i mask_g = _mm_set1_epi32(0xff00);
    const __m128i mask_r = _mm_set1_epi32(0xff0000);

    auto pixels = [&](__m128i shades) {
        const __m128i b = _mm_and_si128(_mm_srli_epi32(_mm_mullo_epi16(shades, blue), 8), mask_b);
        const __m128i g = _mm_and_si128(_mm_mullo_epi16(shades, green), mask_g);
        const __m128i r = _mm_and_si128(_mm_slli_epi32(_mm_mullo_epi16(shades, red), 8), mask_r);
        return _mm_or_si128(_mm_or_si128(top, r), _mm_or_si128(g, b));
    };
    auto step_lanes = [&](__m128i &shades, __m128i &errs) {
        shades = _mm_add_epi32(shades, advance_v);
        errs = _mm_add_epi32(errs, rem_v);
        const __m128i carry = _mm_cmpgt_epi32(errs, limit_v);
        errs = _mm_sub_epi32(errs, _mm_and_si128(carry, twice_n_v));
        shades = _mm_add_epi32(shades, _mm_and_si128(carry, step_v));
    };

    __m128i shades_a = _mm_load_si128(reinterpret_cast<const __m128i *>(lane_shade));
    __m128i shades_b = _mm_load_si128(reinterpret_cast<const __m128i *>(lane_shade + 4));
    __m128i errs_a = _mm_load_si128(reinterpret_cast<const __m128i *>(lane_err));
    __m128i errs_b = _mm_load_si128(reinterpret_cast<const __m128i *>(lane_err + 4));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), pixels(shades_a));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i + 4), pixels(shades_b));
        step_lanes(shades_a, errs_a);
        step_lanes(shades_b, errs_b);
    }
    // The last one to seven pixels take the shades of lanes 0 to 6.
    _mm_store_si128(reinterpret_cast<__m128i *>(lane_shade), shades_a);
    _mm_store_si128(reinterpret_cast<__m128i *>(lane_shade + 4), shades_b);
    shade_scalar(dst + i, lane_shade, count - i, colour);
}
#endif

} // namespace spans
} // namespace demo
