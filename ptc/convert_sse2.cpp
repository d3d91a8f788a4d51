// SSE2 row converters: whole groups of pixels in 128-bit registers, the rest one at a time.
#include "ptc/convert_rows.h"

#if defined(VORBO_SIMD) && defined(__SSE2__)

#include <cstring>
#include <emmintrin.h>
#if !defined(__x86_64__)
#include "ptc/cpu.h"
#endif

namespace ptc_rows {

namespace {

inline __m128i load(const unsigned char *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline void store(unsigned char *p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

// Red and blue exchanged in each 32-bit lane, top byte cleared: the word
// swap of the red/blue pair moves red to bits 0-7 and blue to bits 16-23.
inline __m128i swap_red_blue(__m128i v) {
    const __m128i green = _mm_set1_epi32(0x0000FF00);
    const __m128i red_blue = _mm_set1_epi32(0x00FF00FF);
    __m128i rb = _mm_and_si128(v, red_blue);
    rb = _mm_shufflehi_epi16(_mm_shufflelo_epi16(rb, 0xB1), 0xB1);
    return _mm_or_si128(_mm_and_si128(v, green), rb);
}

// Four pixels (top bytes ignored) to their twelve colour bytes in bytes
// 0-11, zeros in 12-15.
inline __m128i pack_24(__m128i v) {
    // In each 64-bit half: the first pixel's three bytes stay at bytes 0-2,
    // the second pixel's move down one byte to bytes 3-5.
    const __m128i first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i second = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000), 0x0000FFFF,
                                         static_cast<int>(0xFF000000));
    __m128i t = _mm_or_si128(_mm_and_si128(v, first), _mm_and_si128(_mm_srli_epi64(v, 8), second));
    // Close the two-byte gap between the halves' six bytes.
    __m128i low = _mm_move_epi64(t);
    __m128i high = _mm_slli_si128(_mm_srli_si128(t, 8), 6);
    return _mm_or_si128(low, high);
}

// Sixteen pixels, already in byte order, as 48 packed bytes.
inline void store_24x16(unsigned char *d, __m128i c0, __m128i c1, __m128i c2, __m128i c3) {
    store(d, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
    store(d + 16, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
    store(d + 32, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
}

// Eight pixels to eight 16-bit pixels. PMADDWD places both five-bit ends at
// once: each lane's low word holds blue & 0xF8 and its high word red & 0xF8,
// and the multiplier pair scales each to its field (shifted left by `shift`,
// which keeps both products and green inside the lane). The 5-6-5 results
// reach 0xFFFF, beyond the signed range of PACKSSDW, so they are first
// sign-extended from bit 15; the 5-5-5 ones never pass 0x7FFF.
template <int shift, bool six_bit_green>
inline __m128i pack_16(__m128i a, __m128i b, __m128i multiplier) {
    const __m128i red_blue = _mm_set1_epi32(0x00F800F8);
    const __m128i green = _mm_set1_epi32(six_bit_green ? 0x0000FC00 : 0x0000F800);
    __m128i ta = _mm_or_si128(_mm_madd_epi16(_mm_and_si128(a, red_blue), multiplier),
                              _mm_and_si128(a, green));
    __m128i tb = _mm_or_si128(_mm_madd_epi16(_mm_and_si128(b, red_blue), multiplier),
                              _mm_and_si128(b, green));
    if (six_bit_green) {
        ta = _mm_srai_epi32(_mm_slli_epi32(ta, 16 - shift), 16);
        tb = _mm_srai_epi32(_mm_slli_epi32(tb, 16 - shift), 16);
    } else {
        ta = _mm_srli_epi32(ta, shift);
        tb = _mm_srli_epi32(tb, shift);
    }
    return _mm_packs_epi32(ta, tb);
}

// Multiplier words (blue's, red's) per lane.
inline __m128i multiplier(int blue, int red) {
    return _mm_set1_epi32(red << 16 | blue);
}

template <int shift, bool six_bit_green>
inline std::size_t convert_16(unsigned char *d, const unsigned char *s, std::size_t count,
                              __m128i mul) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const unsigned char *p = s + 4 * i;
        store(d + 2 * i, pack_16<shift, six_bit_green>(load(p), load(p + 16), mul));
        store(d + 2 * i + 16, pack_16<shift, six_bit_green>(load(p + 32), load(p + 48), mul));
    }
    for (; i + 8 <= count; i += 8)
        store(d + 2 * i, pack_16<shift, six_bit_green>(load(s + 4 * i), load(s + 4 * i + 16), mul));
    return i;
}

} // namespace

void sse2_copy(void *destination, const void *source, std::size_t bytes) {
    // A plain 64-byte loop: for rows that sit in cache it beats the C
    // library's copy, whose size dispatch costs more than a row takes.
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
        __m128i a = load(s + i), b = load(s + i + 16), c = load(s + i + 32), e = load(s + i + 48);
        store(d + i, a);
        store(d + i + 16, b);
        store(d + i + 32, c);
        store(d + i + 48, e);
    }
    if (i < bytes)
        std::memcpy(d + i, s + i, bytes - i);
}

void sse2_32_bgr888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        store(d + 4 * i, swap_red_blue(load(s + 4 * i)));
        store(d + 4 * i + 16, swap_red_blue(load(s + 4 * i + 16)));
    }
    scalar_32_bgr888(d + 4 * i, s + 4 * i, count - i);
}

void sse2_24_rgb888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const unsigned char *p = s + 4 * i;
        store_24x16(d + 3 * i, pack_24(load(p)), pack_24(load(p + 16)), pack_24(load(p + 32)),
                    pack_24(load(p + 48)));
    }
    scalar_24_rgb888(d + 3 * i, s + 4 * i, count - i);
}

void sse2_24_bgr888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const unsigned char *p = s + 4 * i;
        store_24x16(d + 3 * i, pack_24(swap_red_blue(load(p))),
                    pack_24(swap_red_blue(load(p + 16))), pack_24(swap_red_blue(load(p + 32))),
                    pack_24(swap_red_blue(load(p + 48))));
    }
    scalar_24_bgr888(d + 3 * i, s + 4 * i, count - i);
}

// The 5-6-5 value shifted left 5 (blue x 4, red x 0x2000, green & 0xFC00 in
// place); the 5-5-5 value shifted left 6 (blue x 8, red x 0x2000, green &
// 0xF800 in place). The blue-first layouts swap the two multipliers.
void sse2_16_rgb565(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = convert_16<5, true>(d, s, count, multiplier(4, 0x2000));
    scalar_16_rgb565(d + 2 * i, s + 4 * i, count - i);
}

void sse2_16_bgr565(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = convert_16<5, true>(d, s, count, multiplier(0x2000, 4));
    scalar_16_bgr565(d + 2 * i, s + 4 * i, count - i);
}

void sse2_16_rgb555(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = convert_16<6, false>(d, s, count, multiplier(8, 0x2000));
    scalar_16_rgb555(d + 2 * i, s + 4 * i, count - i);
}

void sse2_16_bgr555(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = convert_16<6, false>(d, s, count, multiplier(0x2000, 8));
    scalar_16_bgr555(d + 2 * i, s + 4 * i, count - i);
}

const kernel_set *sse2_kernels() {
    static const kernel_set set = {"sse2",         sse2_copy,      sse2_32_bgr888,
                                   sse2_24_rgb888, sse2_24_bgr888, sse2_16_rgb565,
                                   sse2_16_bgr565, sse2_16_rgb555, sse2_16_bgr555};
#if defined(__x86_64__)
    return &set;
#else
    // A 32-bit build compiles this file alone with -msse2; the CPU may lack it.
    static const bool usable = PTC_CPU_HAS("sse2");
    return usable ? &set : nullptr;
#endif
}

} // namespace ptc_rows

#else

namespace ptc_rows {
const kernel_set *sse2_kernels() {
    return nullptr;
}
} // namespace ptc_rows

#endif
