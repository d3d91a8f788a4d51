// Row kernels behind the converters: the plain scalar twins and the vectorised sets.
#pragma once

#include <cstddef>

// Every kernel takes (destination, source, count): count source pixels of
// 0x00RRGGBB in, count display pixels out, packed from the start of the
// destination. The copy kernel alone takes a byte count. No kernel reads
// beyond count source pixels or writes beyond count display pixels, and none
// needs any alignment of either row.
namespace ptc_rows {

using copy_kernel_t = void (*)(void *destination, const void *source, std::size_t bytes);
using row_kernel_t = void (*)(void *destination, const void *source, std::size_t count);

// One implementation of every row conversion.
struct kernel_set {
    const char *name;
    copy_kernel_t copy;        // bytes unchanged
    row_kernel_t to_32_bgr888; // red and blue exchanged, top byte 0
    row_kernel_t to_24_rgb888; // bytes B, G, R
    row_kernel_t to_24_bgr888; // bytes R, G, B
    row_kernel_t to_16_rgb565; // (R & 0xF8) << 8 | (G & 0xFC) << 3 | B >> 3
    row_kernel_t to_16_bgr565; // (B & 0xF8) << 8 | (G & 0xFC) << 3 | R >> 3
    row_kernel_t to_16_rgb555; // (R >> 3) << 10 | (G >> 3) << 5 | B >> 3
    row_kernel_t to_16_bgr555; // (B >> 3) << 10 | (G >> 3) << 5 | R >> 3
};

// The plain one-pixel-at-a-time reference; always built.
void scalar_copy(void *destination, const void *source, std::size_t bytes);
void scalar_32_bgr888(void *destination, const void *source, std::size_t count);
void scalar_24_rgb888(void *destination, const void *source, std::size_t count);
void scalar_24_bgr888(void *destination, const void *source, std::size_t count);
void scalar_16_rgb565(void *destination, const void *source, std::size_t count);
void scalar_16_bgr565(void *destination, const void *source, std::size_t count);
void scalar_16_rgb555(void *destination, const void *source, std::size_t count);
void scalar_16_bgr555(void *destination, const void *source, std::size_t count);

const kernel_set &scalar_kernels();

// Each vectorised set, or null when the build has no vector code (VORBO_SIMD
// off or not x86) or this CPU lacks its instructions (CPUID). Every x86-64
// CPU has MMX and SSE2; a 32-bit x86 may have neither, and AVX2 is checked
// everywhere. The MMX set is built on x86-64 too, where it is tested though
// never chosen.
const kernel_set *mmx_kernels();
const kernel_set *sse2_kernels();
const kernel_set *avx2_kernels();

// The MMX kernels by name, defined only when mmx_kernels() is built.
void mmx_copy(void *destination, const void *source, std::size_t bytes);
void mmx_32_bgr888(void *destination, const void *source, std::size_t count);
void mmx_24_rgb888(void *destination, const void *source, std::size_t count);
void mmx_24_bgr888(void *destination, const void *source, std::size_t count);
void mmx_16_rgb565(void *destination, const void *source, std::size_t count);
void mmx_16_bgr565(void *destination, const void *source, std::size_t count);
void mmx_16_rgb555(void *destination, const void *source, std::size_t count);
void mmx_16_bgr555(void *destination, const void *source, std::size_t count);

// The SSE2 kernels by name, defined only when sse2_kernels() is not null; the
// AVX2 kernels hand them the pixels left after their last whole group.
void sse2_copy(void *destination, const void *source, std::size_t bytes);
void sse2_32_bgr888(void *destination, const void *source, std::size_t count);
void sse2_24_rgb888(void *destination, const void *source, std::size_t count);
void sse2_24_bgr888(void *destination, const void *source, std::size_t count);
void sse2_16_rgb565(void *destination, const void *source, std::size_t count);
void sse2_16_bgr565(void *destination, const void *source, std::size_t count);
void sse2_16_rgb555(void *destination, const void *source, std::size_t count);
void sse2_16_bgr555(void *destination, const void *source, std::size_t count);

// The set the converters use: the widest one this build and CPU offer
// (AVX2, then SSE2, then MMX, then scalar), chosen once on first use.
const kernel_set &active_kernels();

} // namespace ptc_rows
