// Whole-number scaling of converted rows: the scalar wideners, their SSSE3 twins, the frame's loop.
#include "ptc/scale.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(VORBO_SIMD) && defined(__SSE2__) && defined(__GNUC__) &&                               \
    (defined(__x86_64__) || defined(__i386__))
#include "ptc/cpu.h"
#include <immintrin.h>
#define VORBO_VECTOR_WIDEN 1
#endif

namespace ptc_rows {

namespace {

// One display pixel of B bytes, read and written whole through memcpy (a
// plain load or store on x86) at any address.
template <int B> struct pixel { unsigned char bytes[B]; };

template <int B>
void scalar_widen(void *destination, const void *source, std::size_t count, int k) {
    auto *d = static_cast<pixel<B> *>(destination);
    const auto *s = static_cast<const pixel<B> *>(source);
    for (std::size_t i = 0; i < count; ++i) {
        const pixel<B> p = s[i];
        for (int j = 0; j < k; ++j)
            *d++ = p;
    }
}

#ifdef VORBO_VECTOR_WIDEN

// The vector wideners write 16-byte chunks of output, each a byte shuffle of
// 16 source bytes. A widening of k for B-byte pixels repeats every
// lcm(16, k * B) output bytes; within one such period, chunk c starts at
// output byte 16c, that is inside the block of source pixel first[c], and
// its byte j is byte (16c + j) % (k * B) % B of pixel (16c + j) / (k * B),
// which lies at most 12 bytes after pixel first[c]'s first byte. Blocks below
// 16 bytes have periods of at most 15 chunks; a period is taken whole as
// many times as make at least four (at most 16 chunks in all).
struct widen_pattern {
    int block = 0;  // k * B: output bytes per source pixel
    int pixels = 0; // source pixels per period
    int chunks = 0; // 16-byte chunks per period
    int first[16] = {};
    unsigned char shuffle[16][16] = {};
};

constexpr int gcd(int a, int b) {
    return b == 0 ? a : gcd(b, a % b);
}

// Periods of at most 16 chunks: every block shorter than 16 bytes. Longer
// blocks are written pixel by pixel instead (see widen_blocks).
constexpr widen_pattern make_pattern(int B, int k) {
    widen_pattern p;
    p.block = k * B;
    // The shortest period, taken as many times as make at least four chunks,
    // so that the loop moves in steps of 64 bytes or more.
    const int shortest = 16 / gcd(16, p.block) * p.block;
    const int period = shortest * ((64 + shortest - 1) / shortest);
    p.pixels = period / p.block;
    p.chunks = period / 16;
    for (int c = 0; c < p.chunks; ++c) {
        p.first[c] = 16 * c / p.block;
        for (int j = 0; j < 16; ++j) {
            const int out = 16 * c + j;
            p.shuffle[c][j] =
                static_cast<unsigned char>((out / p.block - p.first[c]) * B + out % p.block % B);
        }
    }
    return p;
}

// The patterns of every block below 16 bytes, by B and k (k from 2).
template <int B> struct patterns {
    static constexpr int largest_k = 15 / B;
    widen_pattern by_k[largest_k + 1];
    constexpr patterns() : by_k() {
        for (int k = 2; k <= largest_k; ++k)
            by_k[k] = make_pattern(B, k);
    }
};

template <int B> constexpr patterns<B> small_blocks{};

#define VORBO_SSSE3 __attribute__((target("ssse3")))

VORBO_SSSE3 inline __m128i load(const unsigned char *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

VORBO_SSSE3 inline void store(unsigned char *p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

// Blocks of 16 bytes or more: each source pixel's pattern (its bytes
// repeated, 15 bytes a period for 3-byte pixels, else 16) is stored from the
// start of its block on, the last store of a block running up to 15 bytes
// into the next block, which the next pixel's stores then overwrite. So the
// blocks are written in order, and the last pixels, whose overrun would
// leave the row or whose 16-byte load would read beyond the source, are the
// scalar twin's.
template <int B>
VORBO_SSSE3 void widen_blocks(unsigned char *d, const unsigned char *s, std::size_t count, int k) {
    alignas(16) unsigned char repeat[16];
    for (int j = 0; j < 16; ++j)
        repeat[j] = static_cast<unsigned char>(j % B);
    const __m128i pattern = _mm_load_si128(reinterpret_cast<const __m128i *>(repeat));
    const std::size_t block = static_cast<std::size_t>(k) * B;
    const std::size_t step = B == 3 ? 15 : 16;
    const std::size_t last_store = (block - 1) / step * step;
    const std::size_t total = count * block;
    std::size_t i = 0;
    for (; i < count && i * block + last_store + 16 <= total && i * B + 16 <= count * B; ++i) {
        const __m128i v = _mm_shuffle_epi8(load(s + i * B), pattern);
        unsigned char *out = d + i * block;
        for (std::size_t offset = 0; offset <= last_store; offset += step)
            store(out + offset, v);
    }
    scalar_widen<B>(d + i * block, s + i * B, count - i, k);
}

// Doubling, the commonest scale (a 1920 x 1080 screen), of 2- and 4-byte
// pixels: each pixel interleaved with itself, sixteen source bytes to 32.
template <int B>
VORBO_SSSE3 std::size_t double_pixels(unsigned char *d, const unsigned char *s, std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 / B <= count; i += 16 / B) {
        const __m128i v = load(s + i * B);
        store(d + 2 * i * B, B == 2 ? _mm_unpacklo_epi16(v, v) : _mm_unpacklo_epi32(v, v));
        store(d + 2 * i * B + 16, B == 2 ? _mm_unpackhi_epi16(v, v) : _mm_unpackhi_epi32(v, v));
    }
    return i;
}

// Whole periods of a block below 16 bytes, the pattern known when compiled,
// so that every load, shuffle and store of a period is laid out in line;
// the pixels after the last period whose every 16-byte load stays inside the
// source row (the last chunk's load starts furthest in) are the scalar twin's.
template <int B, int K>
VORBO_SSSE3 void widen_periods(unsigned char *d, const unsigned char *s, std::size_t count) {
    constexpr const widen_pattern &p = small_blocks<B>.by_k[K];
    __m128i shuffle[p.chunks];
    for (int c = 0; c < p.chunks; ++c)
        shuffle[c] = load(p.shuffle[c]);
    const std::size_t reach = static_cast<std::size_t>(p.first[p.chunks - 1]) * B + 16;
    std::size_t i = 0;
    for (; i + p.pixels <= count && i * B + reach <= count * B; i += p.pixels) {
        unsigned char *out = d + i * p.block;
        for (int c = 0; c < p.chunks; ++c)
            store(out + 16 * c, _mm_shuffle_epi8(load(s + (i + p.first[c]) * B), shuffle[c]));
    }
    scalar_widen<B>(d + i * p.block, s + i * B, count - i, K);
}

// Finds k among the scales of blocks below 16 bytes (2 to largest_k).
template <int B, int K = 2>
VORBO_SSSE3 void widen_small_blocks(unsigned char *d, const unsigned char *s, std::size_t count,
                                    int k) {
    if constexpr (K <= patterns<B>::largest_k) {
        if (k == K)
            widen_periods<B, K>(d, s, count);
        else
            widen_small_blocks<B, K + 1>(d, s, count, k);
    }
}

template <int B>
VORBO_SSSE3 void ssse3_widen(void *destination, const void *source, std::size_t count, int k) {
    auto *d = static_cast<unsigned char *>(destination);
    const auto *s = static_cast<const unsigned char *>(source);
    if (B != 3 && k == 2) {
        const std::size_t done = double_pixels<B>(d, s, count);
        scalar_widen<B>(d + 2 * done * B, s + done * B, count - done, k);
        return;
    }
    if (k < 2 || k > patterns<B>::largest_k) {
        if (k >= 2)
            widen_blocks<B>(d, s, count, k);
        else
            scalar_widen<B>(d, s, count, k);
        return;
    }
    widen_small_blocks<B>(d, s, count, k);
}

#endif

} // namespace

void scalar_widen_2(void *destination, const void *source, std::size_t count, int k) {
    scalar_widen<2>(destination, source, count, k);
}

void scalar_widen_3(void *destination, const void *source, std::size_t count, int k) {
    scalar_widen<3>(destination, source, count, k);
}

void scalar_widen_4(void *destination, const void *source, std::size_t count, int k) {
    scalar_widen<4>(destination, source, count, k);
}

ptc_widener_t scalar_widener(int bytes_per_pixel) {
    switch (bytes_per_pixel) {
    case 2:
        return scalar_widen_2;
    case 3:
        return scalar_widen_3;
    case 4:
        return scalar_widen_4;
    }
    return nullptr;
}

ptc_widener_t ssse3_widener(int bytes_per_pixel) {
#ifdef VORBO_VECTOR_WIDEN
    if (!PTC_CPU_HAS("ssse3"))
        return nullptr;
    switch (bytes_per_pixel) {
    case 2:
        return ssse3_widen<2>;
    case 3:
        return ssse3_widen<3>;
    case 4:
        return ssse3_widen<4>;
    }
#else
    (void)bytes_per_pixel;
#endif
    return nullptr;
}

} // namespace ptc_rows

ptc_layout_s ptc_lay_out(int area_width, int area_height, int frame_width, int frame_height) {
    const int scale = std::max(0, std::min(area_width / frame_width, area_height / frame_height));
    if (scale == 0)
        return {0, 0, 0};
    return {scale, (area_width - frame_width * scale) / 2,
            (area_height - frame_height * scale) / 2};
}

ptc_widener_t ptc_request_widener(int bytes_per_pixel) {
    if (ptc_widener_t widen = ptc_rows::ssse3_widener(bytes_per_pixel))
        return widen;
    return ptc_rows::scalar_widener(bytes_per_pixel);
}

void ptc_convert_scaled(const void *frame, int width, int height, int k, ptc_converter_t convert,
                        ptc_widener_t widen, int bytes_per_pixel, void *row, char *destination,
                        std::ptrdiff_t pitch) {
    auto *source = static_cast<char *>(const_cast<void *>(frame));
    const std::size_t out_bytes = static_cast<std::size_t>(width) * k * bytes_per_pixel;
    for (int y = 0; y < height; ++y) {
        char *out = destination + static_cast<std::ptrdiff_t>(y) * k * pitch;
        char *in = source + static_cast<std::ptrdiff_t>(y) * width * 4;
        if (k == 1) {
            convert(in, out, width);
            continue;
        }
        convert(in, row, width);
        widen(out, row, static_cast<std::size_t>(width), k);
        for (int copy = 1; copy < k; ++copy)
            std::memcpy(out + copy * pitch, out, out_bytes);
    }
}
