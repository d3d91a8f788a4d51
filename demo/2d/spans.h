// Span pixel loops and fixed-point edge stepping: a plain scalar twin and an SSE2 twin of each.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "demo/2d/demo_2d.h"
#include "demo/demo.h"
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
    int scratch[frame_width];
    for (int done = 0; done < count; done += frame_width) {
        const int chunk = std::min(frame_width, count - done);
        shade.getN(chunk, scratch);
        shade_scalar(dst + done, scratch, chunk, colour);
    }
}

// Interpolation in fixed point, for the vector Gouraud run and the polygon
// edges: the same values as the error-term stepping of Interpolate_num, with
// no carry to propagate from one value to the next. Value k of n (k < n),
// from start to end, is
//     start + step * floor((2k * distance + n) / 2n).
// Split distance = whole * n + part (whole = 0 and part = distance when the
// distance is below 1024, else part < n): the quotient is then k * whole plus
// floor(k * part / n + 1/2), and for n <= 1024 and part < 1024 that last term
// is exactly (k * frac + 2^20) >> 21 with frac = part * 2^21 / n rounded up,
// give or take 2^-22 (fixed_point_frac). Proof: the fixed-point sum is
// k * part / n + 1/2 plus k * (frac - part * 2^21 / n) / 2^21, an excess of
// at least 0 and at most (n - 1) * (1 + 2^-22) / 2^21, below 1/2n for n <= 1024;
// the exact value is a multiple of 1/2n, so it lies at least 1/2n below the
// next whole number and both round down to the same one. No sum exceeds 32
// bits: k * frac + 2^20 <= part * 2^21 + n + 2^20 < 2^32.
constexpr int fixed_point_max_run = 1024;

// 2^53 / n, rounded down, plus one, for n = 1 .. fixed_point_max_run.
struct fixed_point_reciprocals {
    std::uint64_t of[fixed_point_max_run + 1];
};
constexpr fixed_point_reciprocals make_fixed_point_reciprocals() {
    fixed_point_reciprocals table{};
    for (int n = 1; n <= fixed_point_max_run; ++n)
        table.of[n] = (std::uint64_t(1) << 53) / static_cast<std::uint64_t>(n) + 1;
    return table;
}
inline constexpr fixed_point_reciprocals fixed_point_reciprocal = make_fixed_point_reciprocals();

// frac for part < 1024 and 1 <= n <= fixed_point_max_run, without a division:
// part * (2^53 / n + e) / 2^32 with 0 < e <= 1 overshoots part * 2^21 / n by
// less than 2^-22, and dropping its fraction then adding one leaves frac above
// part * 2^21 / n by more than 0 and at most 1 + 2^-22.
inline unsigned fixed_point_frac(unsigned part, int n) {
    return static_cast<unsigned>((part * fixed_point_reciprocal.of[n]) >> 32) + 1;
}

// The steps of a fixed-point interpolation from start to end over n values.
// Values are kept modulo 2^32, which is exact, since every one is an int.
struct fixed_point_steps {
    unsigned base;  // start, plus one going down: start - t is (start + 1) + (t ^ ~0)
    unsigned flip;  // 0 going up, ~0 going down (also when end equals start)
    unsigned whole; // whole units per value
    unsigned frac;  // the rest, in units of 2^-21
    fixed_point_steps(int start, int end, int n) {
        const bool down = !(end > start);
        // The distance of two ints fits 32 unsigned bits.
        const unsigned distance = down ? static_cast<unsigned>(start) - static_cast<unsigned>(end)
                                       : static_cast<unsigned>(end) - static_cast<unsigned>(start);
        unsigned part = distance;
        whole = 0;
        if (distance >= 1024) {
            whole = distance / static_cast<unsigned>(n);
            part = distance - whole * static_cast<unsigned>(n);
        }
        frac = fixed_point_frac(part, n);
        base = static_cast<unsigned>(start) + down;
        flip = down ? ~0u : 0u;
    }
};

// Writes the n values from start to end (1 <= n <= fixed_point_max_run) to
// out[0..n-1]: what Interpolate_num<int>(start, end, n).getN(n, out) writes.
inline void fixed_point_values(int start, int end, int n, int *out) {
    const fixed_point_steps steps(start, end, n);
    unsigned sum = 1u << 20, wholes = 0;
    for (int k = 0; k < n; ++k) {
        out[k] = static_cast<int>(steps.base + (((sum >> 21) + wholes) ^ steps.flip));
        sum += steps.frac;
        wholes += steps.whole;
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

// Lanes 0, x, 2x and 3x (modulo 2^32).
inline __m128i lane_multiples(unsigned x) {
    const __m128i v = _mm_set1_epi32(static_cast<int>(x));
    return _mm_add_epi32(_mm_add_epi32(_mm_slli_si128(v, 4), _mm_slli_si128(v, 8)),
                         _mm_slli_si128(v, 12));
}

// fixed_point_values four at a time: writes out[0..n-1] and up to three
// values more past them, so out must have room for n + 3.
inline void fixed_point_values_sse2(int start, int end, int n, int *out) {
    const fixed_point_steps steps(start, end, n);
    const __m128i flip = _mm_set1_epi32(static_cast<int>(steps.flip));
    const __m128i base = _mm_set1_epi32(static_cast<int>(steps.base));
    const __m128i frac4 = _mm_set1_epi32(static_cast<int>(4 * steps.frac));
    const __m128i whole4 = _mm_set1_epi32(static_cast<int>(4 * steps.whole));
    __m128i sums = _mm_add_epi32(_mm_set1_epi32(1 << 20), lane_multiples(steps.frac));
    __m128i wholes = steps.whole ? lane_multiples(steps.whole) : _mm_setzero_si128();
    for (int k = 0; k < n; k += 4) {
        const __m128i t = _mm_add_epi32(_mm_srli_epi32(sums, 21), wholes);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k),
                         _mm_add_epi32(base, _mm_xor_si128(t, flip)));
        sums = _mm_add_epi32(sums, frac4);
        wholes = _mm_add_epi32(wholes, whole4);
    }
}

// A colour made ready for shade_run_sse2, once for all the runs of a polygon.
// Every byte product keeps only its bits 8..15, which depend only on the low
// 16 bits of the shade: with those 16 bits twice in a lane, one unsigned high
// multiply by (blue << 8, red << 8) gives the blue and red bytes in place and
// one low multiply by (green, 0) gives green's.
struct shade_colour_sse2 {
    unsigned colour;
    __m128i blue_red, green, top;
    explicit shade_colour_sse2(unsigned colour)
        : colour(colour), blue_red(_mm_set1_epi32(static_cast<int>(
                              ((colour & 0xffu) << 8) | ((colour >> 16 & 0xffu) << 24)))),
          green(_mm_set1_epi32(static_cast<int>(colour >> 8 & 0xffu))),
          top(_mm_set1_epi32(static_cast<int>(colour & 0xff000000u))) {}
};

// The same pixels as shade_run_scalar, four at a time, without the scratch
// row. Runs longer than fixed_point_max_run take the scalar twin.
inline void shade_run_sse2(unsigned *dst, int count, int s_start, int s_end,
                           const shade_colour_sse2 &colour) {
    if (count <= 0)
        return;
    if (count > fixed_point_max_run) {
        shade_run_scalar(dst, count, s_start, s_end, colour.colour);
        return;
    }
    const fixed_point_steps steps(s_start, s_end, count);
    const unsigned frac = steps.frac, whole = steps.whole;
    const __m128i flip = _mm_set1_epi32(static_cast<int>(steps.flip));
    const __m128i base = _mm_set1_epi32(static_cast<int>(steps.base));
    const __m128i frac_lanes = lane_multiples(frac);
    const __m128i whole_lanes = whole ? lane_multiples(whole) : _mm_setzero_si128();
    const __m128i mask_blue_red = _mm_set1_epi32(0x00ff00ff);
    const __m128i mask_green = _mm_set1_epi32(0xff00);

    // Shades of pixels k .. k + 3 from the fixed-point sums and whole parts.
    auto shades = [&](__m128i sums, __m128i wholes) {
        const __m128i t = _mm_add_epi32(_mm_srli_epi32(sums, 21), wholes);
        return _mm_add_epi32(base, _mm_xor_si128(t, flip));
    };
    auto shades_from = [&](unsigned k) {
        return shades(
            _mm_add_epi32(_mm_set1_epi32(static_cast<int>(k * frac + (1u << 20))), frac_lanes),
            _mm_add_epi32(_mm_set1_epi32(static_cast<int>(k * whole)), whole_lanes));
    };
    auto pixels = [&](__m128i s) {
        const __m128i twice = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xa0), 0xa0);
        const __m128i br = _mm_and_si128(_mm_mulhi_epu16(twice, colour.blue_red), mask_blue_red);
        const __m128i g = _mm_and_si128(_mm_mullo_epi16(twice, colour.green), mask_green);
        return _mm_or_si128(_mm_or_si128(br, g), colour.top);
    };

    if (count < 4) {
        // Lanes past the run may wrap around; they are not stored.
        __m128i p = pixels(shades_from(0));
        if (count & 2) {
            _mm_storel_epi64(reinterpret_cast<__m128i *>(dst), p);
            p = _mm_srli_si128(p, 8);
        }
        if (count & 1)
            dst[count - 1] = static_cast<unsigned>(_mm_cvtsi128_si32(p));
        return;
    }
    // The last four pixels in one store; the four-pixel steps before it may
    // overlap it, which writes the same values twice.
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + count - 4),
                     pixels(shades_from(static_cast<unsigned>(count) - 4)));
    __m128i sums = _mm_add_epi32(_mm_set1_epi32(1 << 20), frac_lanes);
    __m128i wholes = whole_lanes;
    const __m128i frac4 = _mm_set1_epi32(static_cast<int>(4 * frac));
    const __m128i whole4 = _mm_set1_epi32(static_cast<int>(4 * whole));
    for (int i = 0; i < count - 4; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), pixels(shades(sums, wholes)));
        sums = _mm_add_epi32(sums, frac4);
        wholes = _mm_add_epi32(wholes, whole4);
    }
}

inline void shade_run_sse2(unsigned *dst, int count, int s_start, int s_end, unsigned colour) {
    shade_run_sse2(dst, count, s_start, s_end, shade_colour_sse2(colour));
}
#endif

} // namespace spans
} // namespace demo
