// MMX row converters for x86 CPUs without SSE2: groups of 4 or 8 pixels in 64-bit registers.
//
// Compiled with -mmmx and nothing wider, so that these kernels run on any
// MMX CPU. On x86-64 the compiler may carry the same operations in SSE
// registers; the bits written are the same, which is what the tests there
// check. Each kernel ends its MMX work with EMMS (_mm_empty) before the
// pixels left after the last whole group are converted by the scalar twins,
// so no x87 code ever meets a full register stack.
#include "ptc/convert_rows.h"

#if defined(VORBO_SIMD) && defined(__MMX__) && defined(__GNUC__) &&                                \
    (defined(__x86_64__) || defined(__i386__))

#include "ptc/cpu.h"

#include <cstring>
#include <mmintrin.h>

namespace ptc_rows {

namespace {

// MOVQ has no alignment requirement; this type tells the compiler so, and
// that the rows may alias anything.
typedef __m64 unaligned_m64 __attribute__((__aligned__(1), __may_alias__));

inline __m64 load(const unsigned char *p) {
    return *reinterpret_cast<const unaligned_m64 *>(p);
}

inline void store(unsigned char *p, __m64 v) {
    *reinterpret_cast<unaligned_m64 *>(p) = v;
}

// The low 32 bits of v at p (x86 is little-endian: bytes in lane order).
inline void store_low32(unsigned char *p, __m64 v) {
    const int w = _mm_cvtsi64_si32(v);
    std::memcpy(p, &w, 4);
}

// The constant operands, two 32-bit lanes (or four 16-bit words) each.
inline __m64 lanes(int v) {
    return _mm_set1_pi32(v);
}
inline __m64 rgb565_g() {
    return lanes(0x0000FC00);
}
inline __m64 rgb555_rb() {
    return lanes(0x00F800F8);
}
inline __m64 rgb555_g() {
    return lanes(0x0000F800);
}
// PMADDWD multipliers, words from the lowest: blue's, red's, blue's, red's.
inline __m64 rgb555_mul() {
    return _mm_set_pi16(0x2000, 0x0008, 0x2000, 0x0008); // blue x 8, red x 0x2000
}
inline __m64 rgb565_mul() {
    return _mm_set_pi16(0x2000, 0x0004, 0x2000, 0x0004); // blue x 4, red x 0x2000
}
inline __m64 bgr565_mul() {
    return _mm_set_pi16(0x0004, 0x2000, 0x0004, 0x2000); // blue x 0x2000, red x 4
}
inline __m64 bgr555_mul() {
    return _mm_set_pi16(0x0008, 0x2000, 0x0008, 0x2000); // blue x 0x2000, red x 8
}

// Red and blue exchanged in both pixels, top byte cleared.
inline __m64 swap_red_blue(__m64 v) {
    const __m64 low = lanes(0x000000FF);
    const __m64 red = _mm_and_si64(_mm_srli_pi32(v, 16), low);
    const __m64 blue = _mm_slli_pi32(_mm_and_si64(v, low), 16);
    return _mm_or_si64(_mm_or_si64(red, blue), _mm_and_si64(v, lanes(0x0000FF00)));
}

// Four pixels, in a (0-1) and b (2-3), as twelve packed bytes. The first
// store: pixel 0's three bytes, pixel 1's moved down over pixel 0's top byte,
// blue and green of pixel 2 in bytes 6 and 7. The second: red of pixel 2,
// then pixel 3's three bytes. The masks drop every top byte on the way, so
// the pixels need no clearing first (the 64-bit shifts and masks do what
// the unpack-and-shift of each pixel would, in fewer steps).
inline void store_24x4(unsigned char *d, __m64 a, __m64 b) {
    const __m64 pixel0 = _mm_cvtsi32_si64(0x00FFFFFF);
    const __m64 pixel1 = _mm_set_pi32(0x0000FFFF, static_cast<int>(0xFF000000));
    const __m64 red2 = _mm_cvtsi32_si64(0x000000FF), pixel3 = _mm_cvtsi32_si64(~0xFF);
    const __m64 first =
        _mm_or_si64(_mm_or_si64(_mm_and_si64(a, pixel0), _mm_and_si64(_mm_srli_si64(a, 8), pixel1)),
                    _mm_slli_si64(b, 48));
    store(d, first);
    store_low32(d + 8, _mm_or_si64(_mm_and_si64(_mm_srli_si64(b, 16), red2),
                                   _mm_and_si64(_mm_srli_si64(b, 24), pixel3)));
}

// Four pixels to four 5-6-5 pixels, with PMADDWD as in the 5-5-5 routines:
// the lane's low word holds B & 0xF8 and its high word R & 0xF8, and the
// multiplier pair (blue's, red's) places both at once, the 16-bit pixel
// shifted left 5 with green (& 0xFC00) already in place. The pixels reach
// 0xFFFF, beyond PACKSSDW's signed range, so each lane is first sign-extended
// from the pixel's bit 15 (left 11, arithmetic right 16), which the pack then
// keeps exactly.
inline __m64 pack_565(__m64 a, __m64 b, __m64 multiplier) {
    const __m64 red_blue = rgb555_rb(), green = rgb565_g();
    const __m64 ta =
        _mm_or_si64(_mm_madd_pi16(_mm_and_si64(a, red_blue), multiplier), _mm_and_si64(a, green));
    const __m64 tb =
        _mm_or_si64(_mm_madd_pi16(_mm_and_si64(b, red_blue), multiplier), _mm_and_si64(b, green));
    return _mm_packs_pi32(_mm_srai_pi32(_mm_slli_pi32(ta, 11), 16),
                          _mm_srai_pi32(_mm_slli_pi32(tb, 11), 16));
}

inline std::size_t convert_565(unsigned char *d, const unsigned char *s, std::size_t count,
                               __m64 multiplier) {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        store(d + 2 * i, pack_565(load(s + 4 * i), load(s + 4 * i + 8), multiplier));
    _mm_empty();
    return i;
}

// The first stage of a half-group of the 5-5-5 routines, on two pixels:
// red and blue placed by PMADDWD, green ORed in beside them.
inline __m64 start_555(__m64 v, __m64 red_blue, __m64 green, __m64 multiplier) {
    return _mm_or_si64(_mm_madd_pi16(_mm_and_si64(v, red_blue), multiplier),
                       _mm_and_si64(v, green));
}

// The second stage of a half-group: down by 6 to the 15-bit place, four
// pixels packed (the values never pass 0x7FFF) and stored.
inline void finish_555(unsigned char *d, __m64 a, __m64 b) {
    store(d, _mm_packs_pi32(_mm_srli_pi32(a, 6), _mm_srli_pi32(b, 6)));
}

// Groups of 8 pixels as two halves of 4, software-pipelined: the second
// half is loaded and multiplied while the first is finished, and the next
// group's first half while the second is finished. A next half is started
// only when a whole group of 8 remains, so nothing past count is read.
inline std::size_t convert_555(unsigned char *d, const unsigned char *s, std::size_t count,
                               __m64 multiplier) {
    const __m64 red_blue = rgb555_rb(), green = rgb555_g();
    std::size_t i = 0;
    if (count >= 8) {
        __m64 a0 = start_555(load(s), red_blue, green, multiplier);
        __m64 b0 = start_555(load(s + 8), red_blue, green, multiplier);
        for (;;) {
            const __m64 a1 = start_555(load(s + 4 * i + 16), red_blue, green, multiplier);
            const __m64 b1 = start_555(load(s + 4 * i + 24), red_blue, green, multiplier);
            finish_555(d + 2 * i, a0, b0);
            const bool more = i + 16 <= count;
            if (more) {
                a0 = start_555(load(s + 4 * i + 32), red_blue, green, multiplier);
                b0 = start_555(load(s + 4 * i + 40), red_blue, green, multiplier);
            }
            finish_555(d + 2 * i + 8, a1, b1);
            i += 8;
            if (!more)
                break;
        }
    }
    _mm_empty();
    return i;
}

} // namespace

void mmx_copy(void *destination, const void *source, std::size_t bytes) {
    // 64-byte blocks through all eight registers, loaded before any is
    // stored. In assembly: a plain copy has no MMX operation, so the compiler
    // would move __m64 values through general registers and the stack.
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 64 <= bytes; i += 64)
        asm volatile("movq 0(%0), %%mm0\n\t"
                     "movq 8(%0), %%mm1\n\t"
                     "movq 16(%0), %%mm2\n\t"
                     "movq 24(%0), %%mm3\n\t"
                     "movq 32(%0), %%mm4\n\t"
                     "movq 40(%0), %%mm5\n\t"
                     "movq 48(%0), %%mm6\n\t"
                     "movq 56(%0), %%mm7\n\t"
                     "movq %%mm0, 0(%1)\n\t"
                     "movq %%mm1, 8(%1)\n\t"
                     "movq %%mm2, 16(%1)\n\t"
                     "movq %%mm3, 24(%1)\n\t"
                     "movq %%mm4, 32(%1)\n\t"
                     "movq %%mm5, 40(%1)\n\t"
                     "movq %%mm6, 48(%1)\n\t"
                     "movq %%mm7, 56(%1)"
                     :
                     : "r"(s + i), "r"(d + i)
                     : "memory", "mm0", "mm1", "mm2", "mm3", "mm4", "mm5", "mm6", "mm7");
    _mm_empty();
    scalar_copy(d + i, s + i, bytes - i);
}

void mmx_32_bgr888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m64 a = load(s + 4 * i), b = load(s + 4 * i + 8);
        store(d + 4 * i, swap_red_blue(a));
        store(d + 4 * i + 8, swap_red_blue(b));
    }
    _mm_empty();
    scalar_32_bgr888(d + 4 * i, s + 4 * i, count - i);
}

void mmx_24_rgb888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        store_24x4(d + 3 * i, load(s + 4 * i), load(s + 4 * i + 8));
    _mm_empty();
    scalar_24_rgb888(d + 3 * i, s + 4 * i, count - i);
}

void mmx_24_bgr888(void *destination, const void *source, std::size_t count) {
    // Bytes R, G, B: the blue-first word of each pixel, packed as above.
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        store_24x4(d + 3 * i, swap_red_blue(load(s + 4 * i)), swap_red_blue(load(s + 4 * i + 8)));
    _mm_empty();
    scalar_24_bgr888(d + 3 * i, s + 4 * i, count - i);
}

void mmx_16_rgb565(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    const std::size_t i = convert_565(d, s, count, rgb565_mul());
    scalar_16_rgb565(d + 2 * i, s + 4 * i, count - i);
}

void mmx_16_bgr565(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    const std::size_t i = convert_565(d, s, count, bgr565_mul());
    scalar_16_bgr565(d + 2 * i, s + 4 * i, count - i);
}

void mmx_16_rgb555(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    const std::size_t i = convert_555(d, s, count, rgb555_mul());
    scalar_16_rgb555(d + 2 * i, s + 4 * i, count - i);
}

void mmx_16_bgr555(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    const std::size_t i = convert_555(d, s, count, bgr555_mul());
    scalar_16_bgr555(d + 2 * i, s + 4 * i, count - i);
}

const kernel_set *mmx_kernels() {
    static const kernel_set set = {"mmx",         mmx_copy,      mmx_32_bgr888,
                                   mmx_24_rgb888, mmx_24_bgr888, mmx_16_rgb565,
                                   mmx_16_bgr565, mmx_16_rgb555, mmx_16_bgr555};
    // Every x86-64 CPU has MMX; a 32-bit x86 may not.
    static const bool usable = PTC_CPU_HAS("mmx");
    return usable ? &set : nullptr;
}

} // namespace ptc_rows

#else

namespace ptc_rows {
const kernel_set *mmx_kernels() {
    return nullptr;
}
} // namespace ptc_rows

#endif
