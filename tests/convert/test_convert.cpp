// Converter tests: known pixels, layout selection, vector kernels against their scalar twins.
#include "ptc/convert.h"
#include "ptc/convert_rows.h"
#include "tests/support/fenced_memory.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using ptc_rows::kernel_set;
using ptc_rows::row_kernel_t;

// One display layout: its selection row, its converter and kernel, and what
// it writes for the probe pixels below.
struct layout_case {
    const char *name;
    int bits_per_pixel;
    unsigned long red, green, blue;
    ptc_converter_t converter;
    row_kernel_t kernel_set::*kernel; // null: the byte copy
    int bytes;                        // per display pixel
    std::uint32_t expected[8];        // for each of the probes
};

const std::uint32_t probes[8] = {0x00FFFFFF, 0x00123456, 0xAB123456, 0x00FF0000,
                                 0x0000FF00, 0x000000FF, 0x00000000, 0xFFFFFFFF};

// Pure red, green and blue come out as exactly the layout's masks.
const layout_case layouts[] = {
    {"32 rgb888",
     32,
     0xFF0000,
     0xFF00,
     0xFF,
     ptc_convert_32_to_32_rgb888,
     nullptr,
     4,
     {0x00FFFFFF, 0x00123456, 0xAB123456, 0xFF0000, 0xFF00, 0xFF, 0, 0xFFFFFFFF}},
    {"32 bgr888",
     32,
     0xFF,
     0xFF00,
     0xFF0000,
     ptc_convert_32_to_32_bgr888,
     &kernel_set::to_32_bgr888,
     4,
     {0x00FFFFFF, 0x00563412, 0x00563412, 0xFF, 0xFF00, 0xFF0000, 0, 0x00FFFFFF}},
    {"24 rgb888",
     24,
     0xFF0000,
     0xFF00,
     0xFF,
     ptc_convert_32_to_24_rgb888,
     &kernel_set::to_24_rgb888,
     3,
     {0xFFFFFF, 0x123456, 0x123456, 0xFF0000, 0xFF00, 0xFF, 0, 0xFFFFFF}},
    {"24 bgr888",
     24,
     0xFF,
     0xFF00,
     0xFF0000,
     ptc_convert_32_to_24_bgr888,
     &kernel_set::to_24_bgr888,
     3,
     {0xFFFFFF, 0x563412, 0x563412, 0xFF, 0xFF00, 0xFF0000, 0, 0xFFFFFF}},
    {"16 rgb565",
     16,
     0xF800,
     0x07E0,
     0x001F,
     ptc_convert_32_to_16_rgb565,
     &kernel_set::to_16_rgb565,
     2,
     {0xFFFF, 0x11AA, 0x11AA, 0xF800, 0x07E0, 0x001F, 0, 0xFFFF}},
    {"16 bgr565",
     16,
     0x001F,
     0x07E0,
     0xF800,
     ptc_convert_32_to_16_bgr565,
     &kernel_set::to_16_bgr565,
     2,
     {0xFFFF, 0x51A2, 0x51A2, 0x001F, 0x07E0, 0xF800, 0, 0xFFFF}},
    {"16 rgb555",
     16,
     0x7C00,
     0x03E0,
     0x001F,
     ptc_convert_32_to_16_rgb555,
     &kernel_set::to_16_rgb555,
     2,
     {0x7FFF, 0x08CA, 0x08CA, 0x7C00, 0x03E0, 0x001F, 0, 0x7FFF}},
    {"16 bgr555",
     16,
     0x001F,
     0x03E0,
     0x7C00,
     ptc_convert_32_to_16_bgr555,
     &kernel_set::to_16_bgr555,
     2,
     {0x7FFF, 0x28C2, 0x28C2, 0x001F, 0x03E0, 0x7C00, 0, 0x7FFF}},
};

// Every kernel set this build and CPU offer, scalar first, then narrowest to
// widest. The MMX set is among them wherever it is built, on x86-64 too,
// where the converters never choose it.
std::vector<const kernel_set *> kernel_sets() {
    std::vector<const kernel_set *> sets{&ptc_rows::scalar_kernels()};
    if (const kernel_set *s = ptc_rows::mmx_kernels())
        sets.push_back(s);
    if (const kernel_set *s = ptc_rows::sse2_kernels())
        sets.push_back(s);
    if (const kernel_set *s = ptc_rows::avx2_kernels())
        sets.push_back(s);
    return sets;
}

// Runs a layout's kernel from a set, with the copy's byte count for 32 rgb888.
void run_kernel(const kernel_set &set, const layout_case &l, void *destination, const void *source,
                std::size_t count) {
    if (l.kernel)
        (set.*l.kernel)(destination, source, count);
    else
        set.copy(destination, source, count * 4);
}

std::vector<std::uint32_t> probe_row(std::size_t count) {
    std::vector<std::uint32_t> row(count);
    for (std::size_t i = 0; i < count; ++i)
        row[i] = probes[i % 8];
    return row;
}

// The display pixel at index i of a packed row, low byte first.
std::uint32_t pixel_at(const std::vector<unsigned char> &row, int bytes, std::size_t i) {
    std::uint32_t v = 0;
    for (int b = 0; b < bytes; ++b)
        v |= static_cast<std::uint32_t>(row[i * bytes + b]) << (8 * b);
    return v;
}

// A mapping fenced by inaccessible pages on both sides: a kernel that reads
// or writes even one byte past either end of a row placed against a fence
// stops the test with a fault.
using vorbo_test::fenced;

TEST(ConvertExamples, EveryConverterWritesTheKnownPixels) {
    const std::size_t count = 67; // whole vector groups and a tail in every set
    std::vector<std::uint32_t> source = probe_row(count);
    for (const layout_case &l : layouts) {
        std::vector<unsigned char> out(count * l.bytes);
        l.converter(source.data(), out.data(), static_cast<int>(count));
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(pixel_at(out, l.bytes, i), l.expected[i % 8])
                << l.name << " pixel " << i << " from 0x" << std::hex << source[i];

        for (const kernel_set *set : kernel_sets()) {
            std::vector<unsigned char> direct(count * l.bytes);
            run_kernel(*set, l, direct.data(), source.data(), count);
            EXPECT_EQ(direct, out) << l.name << " through the " << set->name << " kernels";
        }
    }
}

TEST(ConvertExamples, RowRoutinesMatchTheirConverters) {
    std::vector<std::uint32_t> source = probe_row(40);
    using routine_t = void (*)(void *, const void *, int);
    const std::pair<ptc_converter_t, routine_t> pairs[] = {
        {ptc_convert_32_to_24_rgb888, mmx_convert_32_to_24_rgb888},
        {ptc_convert_32_to_24_bgr888, mmx_convert_32_to_24_bgr888},
        {ptc_convert_32_to_16_rgb565, mmx_convert_32_to_16_rgb565},
        {ptc_convert_32_to_16_bgr565, mmx_convert_32_to_16_bgr565},
        {ptc_convert_32_to_16_rgb555, mmx_convert_32_to_16_rgb555},
        {ptc_convert_32_to_16_bgr555, mmx_convert_32_to_16_bgr555},
    };
    for (const auto &[converter, routine] : pairs) {
        std::vector<unsigned char> a(160, 0x5A), b(160, 0x5A);
        converter(source.data(), a.data(), 40);
        routine(b.data(), source.data(), 40);
        EXPECT_EQ(a, b);
    }
    std::vector<unsigned char> copied(160);
    mmx_memcpy(copied.data(), source.data(), 160);
    EXPECT_EQ(std::memcmp(copied.data(), source.data(), 160), 0);
}

TEST(ConvertSelection, EachLayoutGetsItsConverter) {
    for (const layout_case &l : layouts)
        EXPECT_EQ(ptc_request_converter(l.bits_per_pixel, l.red, l.green, l.blue), l.converter)
            << l.name;
}

TEST(ConvertSelection, OtherLayoutsGetNone) {
    // Colour-mapped 8-bit displays, whatever their masks.
    EXPECT_EQ(ptc_request_converter(8, 0, 0, 0), nullptr);
    EXPECT_EQ(ptc_request_converter(8, 0xE0, 0x1C, 0x03), nullptr);
    // The depth is not the pixel size: depth 15 and 24 masks with the wrong size.
    EXPECT_EQ(ptc_request_converter(15, 0x7C00, 0x03E0, 0x001F), nullptr);
    EXPECT_EQ(ptc_request_converter(24, 0xF800, 0x07E0, 0x001F), nullptr);
    EXPECT_EQ(ptc_request_converter(16, 0xFF0000, 0xFF00, 0xFF), nullptr);
    EXPECT_EQ(ptc_request_converter(32, 0x7C00, 0x03E0, 0x001F), nullptr);
    // Masks that no row has: green first, 4-4-4, alpha-style top bytes, bits above 32.
    EXPECT_EQ(ptc_request_converter(16, 0x07E0, 0xF800, 0x001F), nullptr);
    EXPECT_EQ(ptc_request_converter(16, 0x0F00, 0x00F0, 0x000F), nullptr);
    EXPECT_EQ(ptc_request_converter(32, 0xFF000000, 0xFF0000, 0xFF00), nullptr);
    // X's masks are unsigned long, which has bits above 32 only on a 64-bit machine.
    const unsigned long above_32 = ~static_cast<unsigned long>(0xFFFFFFFFu);
    if (above_32 != 0) {
        EXPECT_EQ(ptc_request_converter(32, 0xFF0000UL | (above_32 & -above_32), 0xFF00, 0xFF),
                  nullptr);
    }
    EXPECT_EQ(ptc_request_converter(0, 0xFF0000, 0xFF00, 0xFF), nullptr);
    EXPECT_EQ(ptc_request_converter(-32, 0xFF0000, 0xFF00, 0xFF), nullptr);
}

TEST(ConvertRows, EmptyRowsWriteNothing) {
    std::uint32_t source[4] = {0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF};
    for (const layout_case &l : layouts) {
        for (int count : {0, -1, -640}) {
            unsigned char out[16];
            std::memset(out, 0x5A, sizeof out);
            l.converter(source, out, count);
            for (unsigned char c : out)
                ASSERT_EQ(c, 0x5A) << l.name << " count " << count;
        }
        unsigned char out[16];
        l.converter(source, nullptr, 4);
        l.converter(nullptr, out, 4); // neither faults
    }
    unsigned char out[16];
    std::memset(out, 0x5A, sizeof out);
    mmx_memcpy(out, source, 0);
    mmx_memcpy(out, source, -16);
    for (unsigned char c : out)
        EXPECT_EQ(c, 0x5A);
}

TEST(ConvertRows, BlockCopyCopiesExactlyTheByteCount) {
    std::mt19937 random(7);
    for (int bytes : {0, 1, 63, 64, 65, 127, 128, 129, 1000}) {
        fenced src(bytes), dst(bytes);
        for (int i = 0; i < bytes; ++i)
            src.ending(bytes)[i] = static_cast<unsigned char>(random());
        mmx_memcpy(dst.ending(bytes), src.ending(bytes), bytes);
        EXPECT_EQ(std::memcmp(dst.ending(bytes), src.ending(bytes), bytes), 0) << bytes;
    }
}

TEST(ConvertRows, WidestKernelsAreActive) {
    const kernel_set *widest = kernel_sets().back();
    EXPECT_EQ(&ptc_rows::active_kernels(), widest) << "active: " << ptc_rows::active_kernels().name;
}

// Fills a row and its guard bands with the same random bytes in two
// buffers, converts with the scalar twin into one and the kernel under
// test into the other, and compares everything, guards included.
void compare_with_scalar(const kernel_set &set, const layout_case &l, std::size_t count,
                         std::size_t source_offset, std::size_t destination_offset,
                         std::mt19937 &random) {
    const std::size_t guard = 64;
    std::vector<unsigned char> source(source_offset + count * 4 + guard);
    for (unsigned char &c : source)
        c = static_cast<unsigned char>(random());
    std::vector<unsigned char> expected(guard + destination_offset + count * l.bytes + guard);
    for (unsigned char &c : expected)
        c = static_cast<unsigned char>(random());
    std::vector<unsigned char> actual = expected;

    run_kernel(ptc_rows::scalar_kernels(), l, expected.data() + guard + destination_offset,
               source.data() + source_offset, count);
    run_kernel(set, l, actual.data() + guard + destination_offset, source.data() + source_offset,
               count);
    ASSERT_EQ(actual, expected) << set.name << " " << l.name << ": " << count
                                << " pixels, source offset " << source_offset
                                << ", destination offset " << destination_offset;
}

std::vector<std::size_t> test_counts() {
    std::vector<std::size_t> counts;
    for (std::size_t n = 0; n <= 67; ++n)
        counts.push_back(n);
    for (std::size_t n : {95, 96, 97, 127, 128, 129, 255, 639, 640, 641, 1021})
        counts.push_back(n);
    return counts;
}

TEST(ConvertKernels, VectorKernelsMatchScalarAtEveryLengthAndAlignment) {
    std::mt19937 random(2024);
    for (const kernel_set *set : kernel_sets()) {
        if (set == &ptc_rows::scalar_kernels())
            continue;
        for (const layout_case &l : layouts)
            for (std::size_t count : test_counts())
                for (std::size_t so : {0, 1, 2, 3, 4, 8, 12, 20, 28})
                    for (std::size_t dof : {0, 1, 2, 3, 6, 16, 30}) {
                        compare_with_scalar(*set, l, count, so, dof, random);
                        if (HasFatalFailure())
                            return;
                    }
    }
}

TEST(ConvertKernels, NoKernelTouchesMemoryBeyondTheRow) {
    std::mt19937 random(99);
    for (const kernel_set *set : kernel_sets())
        for (const layout_case &l : layouts)
            for (std::size_t count : test_counts()) {
                const std::size_t in = count * 4, out = count * l.bytes;
                std::vector<unsigned char> pixels(in);
                for (unsigned char &c : pixels)
                    c = static_cast<unsigned char>(random());
                std::vector<unsigned char> reference(out);
                run_kernel(ptc_rows::scalar_kernels(), l, reference.data(), pixels.data(), count);
                // A row against the far fences, then one against the near ones.
                // std::copy and std::equal, not memcpy and memcmp: with no
                // pixels the vectors' data() may be null, which those forbid.
                fenced far_source(in), far_destination(out);
                std::copy(pixels.begin(), pixels.end(), far_source.ending(in));
                run_kernel(*set, l, far_destination.ending(out), far_source.ending(in), count);
                ASSERT_TRUE(
                    std::equal(reference.begin(), reference.end(), far_destination.ending(out)))
                    << set->name << " " << l.name << " " << count;
                fenced near_source(in), near_destination(out);
                std::copy(pixels.begin(), pixels.end(), near_source.first());
                run_kernel(*set, l, near_destination.first(), near_source.first(), count);
                ASSERT_TRUE(
                    std::equal(reference.begin(), reference.end(), near_destination.first()))
                    << set->name << " " << l.name << " " << count;
            }
}

} // namespace
