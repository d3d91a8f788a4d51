// Pixel format converters: one row of 0x00RRGGBB pixels into the display's format.
#pragma once

// A converter: (source row of count 32-bit pixels, destination row, count).
using ptc_converter_t = void (*)(void *source, void *destination, int count);

// The converter for a display of bits_per_pixel (the pixmap format's, not the
// depth) with the given channel masks, or null when none fits (8 bpp, other masks).
ptc_converter_t ptc_request_converter(int bits_per_pixel, unsigned long red_mask,
                                      unsigned long green_mask, unsigned long blue_mask);

// The converters. 16-bit pixels are stored low byte first; rows are packed,
// count x bytes-per-pixel from the start of the destination, and nothing
// beyond count source pixels is read. A count of 0 or less, or a null row,
// converts nothing. The widest kernels this CPU runs (AVX2, SSE2, MMX on a
// 32-bit x86 without SSE2, or the plain scalar code of a -DVORBO_SIMD=OFF
// build or a CPU with none of them) are chosen on first use; all of them
// write the same bits.
void ptc_convert_32_to_32_rgb888(void *source, void *destination, int count); // copy, top byte too
void ptc_convert_32_to_32_bgr888(void *source, void *destination, int count); // R<->B, top byte 0
void ptc_convert_32_to_24_rgb888(void *source, void *destination, int count); // bytes B, G, R
void ptc_convert_32_to_24_bgr888(void *source, void *destination, int count); // bytes R, G, B
void ptc_convert_32_to_16_rgb565(void *source, void *destination, int count);
void ptc_convert_32_to_16_bgr565(void *source, void *destination, int count);
void ptc_convert_32_to_16_rgb555(void *source, void *destination, int count);
void ptc_convert_32_to_16_bgr555(void *source, void *destination, int count);

// The row routines behind the converters: (destination, source, count).
// mmx_memcpy takes a byte count.
void mmx_memcpy(void *destination, const void *source, int bytes);
void mmx_convert_32_to_24_rgb888(void *destination, const void *source, int count);
void mmx_convert_32_to_24_bgr888(void *destination, const void *source, int count);
void mmx_convert_32_to_16_rgb565(void *destination, const void *source, int count);
void mmx_convert_32_to_16_bgr565(void *destination, const void *source, int count);
void mmx_convert_32_to_16_rgb555(void *destination, const void *source, int count);
void mmx_convert_32_to_16_bgr555(void *destination, const void *source, int count);
