// Pixel format converters: the converter for each display layout, run on the fastest kernels.
#include "ptc/convert.h"

#include "ptc/convert_rows.h"

#include <atomic>
#include <cstddef>

namespace ptc_rows {

namespace {

const kernel_set &widest_kernels() {
    if (const kernel_set *set = avx2_kernels())
        return *set;
    if (const kernel_set *set = sse2_kernels())
        return *set;
    if (const kernel_set *set = mmx_kernels())
        return *set;
    return scalar_kernels();
}

// Chosen on first use, so that a converter called during static
// initialisation still finds its kernels; every thread that races to choose
// stores the same set. Afterwards a row pays one plain load for the choice.
std::atomic<const kernel_set *> chosen{nullptr};

} // namespace

const kernel_set &active_kernels() {
    const kernel_set *set = chosen.load(std::memory_order_relaxed);
    if (!set) {
        set = &widest_kernels();
        chosen.store(set, std::memory_order_relaxed);
    }
    return *set;
}

} // namespace ptc_rows

namespace {

using ptc_rows::active_kernels;

// A row with no pixels, a negative count or a missing buffer converts nothing.
inline bool empty_row(const void *destination, const void *source, int count) {
    return count <= 0 || !destination || !source;
}

} // namespace

ptc_converter_t ptc_request_converter(int bits_per_pixel, unsigned long red_mask,
                                      unsigned long green_mask, unsigned long blue_mask) {
    struct layout {
        int bits_per_pixel;
        unsigned long red, green, blue;
        ptc_converter_t converter;
    };
    // Tried in order; the first row equal in all four values wins.
    static const layout layouts[] = {
        {32, 0xFF0000, 0xFF00, 0xFF, ptc_convert_32_to_32_rgb888},
        {32, 0xFF, 0xFF00, 0xFF0000, ptc_convert_32_to_32_bgr888},
        {24, 0xFF0000, 0xFF00, 0xFF, ptc_convert_32_to_24_rgb888},
        {24, 0xFF, 0xFF00, 0xFF0000, ptc_convert_32_to_24_bgr888},
        {16, 0xF800, 0x07E0, 0x001F, ptc_convert_32_to_16_rgb565},
        {16, 0x001F, 0x07E0, 0xF800, ptc_convert_32_to_16_bgr565},
        {16, 0x7C00, 0x03E0, 0x001F, ptc_convert_32_to_16_rgb555},
        {16, 0x001F, 0x03E0, 0x7C00, ptc_convert_32_to_16_bgr555},
    };
    for (const layout &l : layouts)
        if (l.bits_per_pixel == bits_per_pixel && l.red == red_mask && l.green == green_mask &&
            l.blue == blue_mask)
            return l.converter;
    return nullptr;
}

void ptc_convert_32_to_32_rgb888(void *source, void *destination, int count) {
    // Copied as bytes in size_t: count x 4 may not fit an int.
    if (!empty_row(destination, source, count))
        active_kernels().copy(destination, source, static_cast<std::size_t>(count) * 4);
}

void ptc_convert_32_to_32_bgr888(void *source, void *destination, int count) {
    if (!empty_row(destination, source, count))
        active_kernels().to_32_bgr888(destination, source, static_cast<std::size_t>(count));
}

void ptc_convert_32_to_24_rgb888(void *source, void *destination, int count) {
    mmx_convert_32_to_24_rgb888(destination, source, count);
}

void ptc_convert_32_to_24_bgr888(void *source, void *destination, int count) {
    mmx_convert_32_to_24_bgr888(destination, source, count);
}

void ptc_convert_32_to_16_rgb565(void *source, void *destination, int count) {
    mmx_convert_32_to_16_rgb565(destination, source, count);
}

void ptc_convert_32_to_16_bgr565(void *source, void *destination, int count) {
    mmx_convert_32_to_16_bgr565(destination, source, count);
}

void ptc_convert_32_to_16_rgb555(void *source, void *destination, int count) {
    mmx_convert_32_to_16_rgb555(destination, source, count);
}

void ptc_convert_32_to_16_bgr555(void *source, void *destination, int count) {
    mmx_convert_32_to_16_bgr555(destination, source, count);
}

void mmx_memcpy(void *destination, const void *source, int bytes) {
    if (!empty_row(destination, source, bytes))
        active_kernels().copy(destination, source, static_cast<std::size_t>(bytes));
}

void mmx_convert_32_to_24_rgb888(void *destination, const void *source, int count) {
    if (!empty_row(destination, source, count))
        active_kernels().to_24_rgb888(destination, source, static_cast<std::size_t>(count));
}

void mmx_convert_32_to_24_bgr888(void *destination, const void *source, int count) {
    if (!empty_row(destination, source, count))
        active_kernels().to_24_bgr888(destination, source, static_cast<std::size_t>(count));
}

void mmx_convert_32_to_16_rgb565(void *destination, const void *source, int count) {
    if (!empty_row(destination, source, count))
        active_kernels().to_16_rgb565(destination, source, static_cast<std::size_t>(count));
}

void mmx_convert_32_to_16_bgr565(void *destination, const void *source, int count) {
    if (!empty_row(destination, source, count))
        active_kernels().to_16_bgr565(destination, source, static_cast<std::size_t>(count));
}

void mmx_convert_32_to_16_rgb555(void *destination, const void *source, int count) {
    if (!empty_row(destination, source, count))
        active_kernels().to_16_rgb555(destination, source, static_cast<std::size_t>(count));
}

void mmx_convert_32_to_16_bgr555(void *destination, const void *source, int count) {
    if (!empty_row(destination, source, count))
        active_kernels().to_16_bgr555(destination, source, static_cast<std::size_t>(count));
}
