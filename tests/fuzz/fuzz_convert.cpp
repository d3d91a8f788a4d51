// Fuzz target: every pixel converter, public and per kernel set, against its plain scalar twin.
//
// Input: a 2-byte pixel count (signed: zero and negative counts convert
// nothing), one byte of source and destination misalignment, then the pixels
// (repeated to fill the count).
#include "fuzz_support.h"
#include "ptc/convert.h"
#include "ptc/convert_rows.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using ptc_rows::kernel_set;
using ptc_rows::row_kernel_t;

// A row of exactly n bytes starting `offset` bytes into its block, so that
// AddressSanitizer reports a single byte read or written past its end and
// the kernels meet every alignment.
struct row {
    std::vector<std::uint8_t> block;
    std::uint8_t *data;
    row(std::size_t n, unsigned offset, std::uint8_t fill)
        : block(n + offset, fill), data(block.data() + offset) {}
};

struct converter {
    int bytes_per_pixel;
    void (*convert)(void *source, void *destination, int count);
    row_kernel_t scalar;
    row_kernel_t kernel_set::*member; // null for the copy, which takes bytes
};

const converter converters[] = {
    {4, ptc_convert_32_to_32_rgb888, nullptr, nullptr},
    {4, ptc_convert_32_to_32_bgr888, ptc_rows::scalar_32_bgr888, &kernel_set::to_32_bgr888},
    {3, ptc_convert_32_to_24_rgb888, ptc_rows::scalar_24_rgb888, &kernel_set::to_24_rgb888},
    {3, ptc_convert_32_to_24_bgr888, ptc_rows::scalar_24_bgr888, &kernel_set::to_24_bgr888},
    {2, ptc_convert_32_to_16_rgb565, ptc_rows::scalar_16_rgb565, &kernel_set::to_16_rgb565},
    {2, ptc_convert_32_to_16_bgr565, ptc_rows::scalar_16_bgr565, &kernel_set::to_16_bgr565},
    {2, ptc_convert_32_to_16_rgb555, ptc_rows::scalar_16_rgb555, &kernel_set::to_16_rgb555},
    {2, ptc_convert_32_to_16_bgr555, ptc_rows::scalar_16_bgr555, &kernel_set::to_16_bgr555},
};

// The scalar twin's output for count pixels of source.
std::vector<std::uint8_t> reference(const converter &c, const std::uint8_t *source,
                                    std::size_t count) {
    std::vector<std::uint8_t> out(count * c.bytes_per_pixel + 1);
    if (c.scalar)
        c.scalar(out.data(), source, count);
    else
        ptc_rows::scalar_copy(out.data(), source, count * 4);
    out.pop_back();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 3)
        return -1;
    const int count = vorbo_fuzz::s16_at(data, size, 0) % 2048;
    const unsigned source_offset = data[2] & 15, destination_offset = data[2] >> 4;
    const std::uint8_t *pixels = data + 3;
    const std::size_t pixel_bytes = size - 3;
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;

    row source(n * 4, source_offset, 0);
    for (std::size_t i = 0; i < n * 4; ++i)
        source.data[i] = pixel_bytes ? pixels[i % pixel_bytes] : static_cast<std::uint8_t>(i * 151);
    const std::vector<std::uint8_t> original(source.data, source.data + n * 4);

    // The converters' own set is one of these (or the scalar one, the reference).
    const kernel_set *sets[] = {ptc_rows::mmx_kernels(), ptc_rows::sse2_kernels(),
                                ptc_rows::avx2_kernels()};
    for (const converter &c : converters) {
        const std::size_t out_bytes = n * c.bytes_per_pixel;
        const std::vector<std::uint8_t> want = reference(c, source.data, n);

        // The public converter takes the int count and must write nothing
        // for a count of zero or less.
        row out(out_bytes, destination_offset, 0xa5);
        if (count <= 0) {
            std::uint8_t canary[16];
            std::memset(canary, 0xa5, sizeof canary);
            c.convert(source.data, canary, count);
            for (std::uint8_t b : canary)
                if (b != 0xa5)
                    vorbo_fuzz::fail("a converter wrote for a count of zero or less");
        } else {
            c.convert(source.data, out.data, count);
            if (std::memcmp(out.data, want.data(), out_bytes) != 0)
                vorbo_fuzz::fail("converter output differs from its scalar twin");
        }

        for (const kernel_set *set : sets) {
            if (!set)
                continue;
            row kernel_out(out_bytes, destination_offset, 0x5a);
            if (c.member)
                (set->*c.member)(kernel_out.data, source.data, n);
            else
                set->copy(kernel_out.data, source.data, n * 4);
            if (out_bytes && std::memcmp(kernel_out.data, want.data(), out_bytes) != 0)
                vorbo_fuzz::fail("a vector kernel differs from its scalar twin");
        }
        if (n && std::memcmp(source.data, original.data(), n * 4) != 0)
            vorbo_fuzz::fail("a converter changed its source row");
    }
    return 0;
}
