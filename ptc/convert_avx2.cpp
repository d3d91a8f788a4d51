// AVX2 row converters, compiled for AVX2 function by function and chosen only on CPUs that have it.
#include "ptc/convert_rows.h"

// On 32-bit x86 the SSE2 file is compiled with -msse2 and this one is not:
// every function here that needs more than the baseline says so itself.
#if defined(VORBO_SIMD) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include "ptc/cpu.h"

#include <immintrin.h>

#define VORBO_AVX2 __attribute__((target("avx2")))

namespace ptc_rows {

namespace {

VORBO_AVX2 inline __m256i load(const unsigned char *p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

VORBO_AVX2 inline void store(unsigned char *p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v);
}

// Byte shuffles within each 128-bit half; 0x80 writes a zero.
VORBO_AVX2 inline __m256i lanes(char b0, char b1, char b2, char b3, char b4, char b5, char b6,
                                char b7, char b8, char b9, char b10, char b11, char b12, char b13,
                                char b14, char b15) {
    return _mm256_setr_epi8(b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15,
                            b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15);
}

constexpr char Z = static_cast<char>(0x80);

// Thirty-two pixels to 96 packed bytes. The byte shuffle leaves each half's
// twelve colour bytes in its dwords 0-2, so a row of eight pixels is the six
// dwords 0, 1, 2, 4, 5, 6. Each group's permutation puts those six dwords
// where its share of the three 32-byte stores lies (group 1: its first two
// dwords end store 0, its last four start store 1; group 2: four end store 1,
// two start store 2), and dword blends join neighbouring groups.
VORBO_AVX2 inline void convert_24x32(unsigned char *d, const unsigned char *s, __m256i bytes) {
    const __m256i perm0 = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 0);
    const __m256i perm1 = _mm256_setr_epi32(2, 4, 5, 6, 0, 0, 0, 1);
    const __m256i perm2 = _mm256_setr_epi32(5, 6, 0, 0, 0, 1, 2, 4);
    const __m256i perm3 = _mm256_setr_epi32(0, 0, 0, 1, 2, 4, 5, 6);
    __m256i r0 = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load(s), bytes), perm0);
    __m256i r1 = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load(s + 32), bytes), perm1);
    __m256i r2 = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load(s + 64), bytes), perm2);
    __m256i r3 = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load(s + 96), bytes), perm3);
    store(d, _mm256_blend_epi32(r0, r1, 0xC0));
    store(d + 32, _mm256_blend_epi32(r1, r2, 0xF0));
    store(d + 64, _mm256_blend_epi32(r2, r3, 0xFC));
}

// Sixteen pixels to sixteen 16-bit pixels; see the SSE2 twin for the
// multiply-add. Every lane ends at most 0xFFFF and non-negative, so the
// unsigned-saturating PACKUSDW is exact; it packs within 128-bit halves,
// and the quadword permutation restores pixel order.
template <int shift>
VORBO_AVX2 inline __m256i pack_16(__m256i a, __m256i b, __m256i multiplier, __m256i green) {
    const __m256i red_blue = _mm256_set1_epi32(0x00F800F8);
    __m256i ta = _mm256_or_si256(_mm256_madd_epi16(_mm256_and_si256(a, red_blue), multiplier),
                                 _mm256_and_si256(a, green));
    __m256i tb = _mm256_or_si256(_mm256_madd_epi16(_mm256_and_si256(b, red_blue), multiplier),
                                 _mm256_and_si256(b, green));
    __m256i packed =
        _mm256_packus_epi32(_mm256_srli_epi32(ta, shift), _mm256_srli_epi32(tb, shift));
    return _mm256_permute4x64_epi64(packed, 0xD8);
}

template <int shift>
VORBO_AVX2 inline std::size_t convert_16(unsigned char *d, const unsigned char *s,
                                         std::size_t count, int blue_factor, int red_factor,
                                         int green_mask) {
    const __m256i mul = _mm256_set1_epi32(red_factor << 16 | blue_factor);
    const __m256i green = _mm256_set1_epi32(green_mask);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const unsigned char *p = s + 4 * i;
        store(d + 2 * i, pack_16<shift>(load(p), load(p + 32), mul, green));
        store(d + 2 * i + 32, pack_16<shift>(load(p + 64), load(p + 96), mul, green));
    }
    for (; i + 16 <= count; i += 16)
        store(d + 2 * i, pack_16<shift>(load(s + 4 * i), load(s + 4 * i + 32), mul, green));
    return i;
}

} // namespace

VORBO_AVX2 void avx2_copy(void *destination, const void *source, std::size_t bytes) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = 0;
    for (; i + 128 <= bytes; i += 128) {
        __m256i a = load(s + i), b = load(s + i + 32), c = load(s + i + 64), e = load(s + i + 96);
        store(d + i, a);
        store(d + i + 32, b);
        store(d + i + 64, c);
        store(d + i + 96, e);
    }
    sse2_copy(d + i, s + i, bytes - i);
}

VORBO_AVX2 void avx2_32_bgr888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    const __m256i swap = lanes(2, 1, 0, Z, 6, 5, 4, Z, 10, 9, 8, Z, 14, 13, 12, Z);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        store(d + 4 * i, _mm256_shuffle_epi8(load(s + 4 * i), swap));
        store(d + 4 * i + 32, _mm256_shuffle_epi8(load(s + 4 * i + 32), swap));
    }
    sse2_32_bgr888(d + 4 * i, s + 4 * i, count - i);
}

VORBO_AVX2 void avx2_24_rgb888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    const __m256i bytes = lanes(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, Z, Z, Z, Z);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32)
        convert_24x32(d + 3 * i, s + 4 * i, bytes);
    sse2_24_rgb888(d + 3 * i, s + 4 * i, count - i);
}

VORBO_AVX2 void avx2_24_bgr888(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    const __m256i bytes = lanes(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, Z, Z, Z, Z);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32)
        convert_24x32(d + 3 * i, s + 4 * i, bytes);
    sse2_24_bgr888(d + 3 * i, s + 4 * i, count - i);
}

VORBO_AVX2 void avx2_16_rgb565(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = convert_16<5>(d, s, count, 4, 0x2000, 0xFC00);
    sse2_16_rgb565(d + 2 * i, s + 4 * i, count - i);
}

VORBO_AVX2 void avx2_16_bgr565(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = convert_16<5>(d, s, count, 0x2000, 4, 0xFC00);
    sse2_16_bgr565(d + 2 * i, s + 4 * i, count - i);
}

VORBO_AVX2 void avx2_16_rgb555(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = convert_16<6>(d, s, count, 8, 0x2000, 0xF800);
    sse2_16_rgb555(d + 2 * i, s + 4 * i, count - i);
}

VORBO_AVX2 void avx2_16_bgr555(void *destination, const void *source, std::size_t count) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    std::size_t i = convert_16<6>(d, s, count, 0x2000, 8, 0xF800);
    sse2_16_bgr555(d + 2 * i, s + 4 * i, count - i);
}

const kernel_set *avx2_kernels() {
    static const kernel_set set = {"avx2",         avx2_copy,      avx2_32_bgr888,
                                   avx2_24_rgb888, avx2_24_bgr888, avx2_16_rgb565,
                                   avx2_16_bgr565, avx2_16_rgb555, avx2_16_bgr555};
    static const bool usable = PTC_CPU_HAS("avx2");
    return usable ? &set : nullptr;
}

} // namespace ptc_rows

#else

namespace ptc_rows {
const kernel_set *avx2_kernels() {
    return nullptr;
}
} // namespace ptc_rows

#endif
