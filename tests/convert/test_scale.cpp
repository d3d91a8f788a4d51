// Whole-number scaling: the vector wideners against their scalar twins, and whole scaled frames.
#include "ptc/scale.h"
#include "tests/support/fenced_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using vorbo_test::fenced;

// Every count from 0 to 70 and some row lengths, at every scale up to 9, for
// each pixel size: the widener writes exactly what its scalar twin writes,
// reads and writes nothing beyond either row (both rows end at a fence, then
// both start at one), whatever the rows' alignment.
TEST(ScaleWideners, VectorWidenersMatchScalarAndStayInsideTheirRows) {
    std::mt19937 random(7);
    std::vector<std::size_t> counts;
    for (std::size_t n = 0; n <= 70; ++n)
        counts.push_back(n);
    for (std::size_t n : {127, 128, 129, 639, 640})
        counts.push_back(n);
    for (int bytes : {2, 3, 4}) {
        const ptc_widener_t scalar = ptc_rows::scalar_widener(bytes);
        const ptc_widener_t vector = ptc_request_widener(bytes);
        ASSERT_TRUE(scalar && vector);
        for (int k = 1; k <= 9; ++k)
            for (std::size_t count : counts)
                for (std::size_t shift : {0, 1, 3}) {
                    const std::size_t in = count * bytes, out = count * k * bytes;
                    std::vector<unsigned char> pixels(in);
                    for (unsigned char &c : pixels)
                        c = static_cast<unsigned char>(random());
                    std::vector<unsigned char> expected(out);
                    scalar(expected.data(), pixels.data(), count, k);
                    for (int p = 0; p < 2; ++p) {
                        fenced source(in + shift), destination(out + shift);
                        unsigned char *s = p ? source.first() + shift : source.ending(in);
                        unsigned char *d =
                            p ? destination.first() + shift : destination.ending(out);
                        std::copy(pixels.begin(), pixels.end(), s);
                        vector(d, s, count, k);
                        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), d))
                            << bytes << " bytes, k " << k << ", " << count << " pixels";
                    }
                }
        // The reference itself: pixel i's bytes, k times over.
        std::vector<unsigned char> pixels = {1, 2, 3, 4, 5, 6, 7, 8}, out(8 * 3);
        scalar(out.data(), pixels.data(), 8 / bytes, 3);
        for (std::size_t j = 0; j < std::size_t(8 / bytes) * 3; ++j)
            ASSERT_EQ(std::memcmp(&out[j * bytes], &pixels[j / 3 * bytes], bytes), 0);
    }
}

// Each frame pixel becomes an exact k x k block of its converted value, the
// blocks in the frame's order, rows stepped by the destination's pitch
// (which may leave bytes unused at each row's end: they stay untouched).
TEST(ScaleFrames, EveryFramePixelBecomesAKByKBlock) {
    std::mt19937 random(11);
    const int width = 23, height = 7;
    std::vector<std::uint32_t> frame(width * height);
    for (std::uint32_t &p : frame)
        p = static_cast<std::uint32_t>(random());
    struct output {
        int bytes;
        ptc_converter_t convert;
    };
    for (output o : {output{2, ptc_convert_32_to_16_rgb565}, output{3, ptc_convert_32_to_24_rgb888},
                     output{4, ptc_convert_32_to_32_bgr888}})
        for (int k = 1; k <= 5; ++k) {
            const std::ptrdiff_t pitch = std::ptrdiff_t(width) * k * o.bytes + 5;
            std::vector<unsigned char> image(pitch * height * k, 0xEE);
            std::vector<unsigned char> row(width * o.bytes);
            ptc_convert_scaled(frame.data(), width, height, k, o.convert,
                               ptc_request_widener(o.bytes), o.bytes, row.data(),
                               reinterpret_cast<char *>(image.data()), pitch);
            std::vector<unsigned char> converted(width * o.bytes);
            for (int y = 0; y < height * k; ++y) {
                o.convert(&frame[(y / k) * width], converted.data(), width);
                const unsigned char *line = &image[y * pitch];
                for (int x = 0; x < width * k; ++x)
                    ASSERT_EQ(
                        std::memcmp(line + x * o.bytes, &converted[(x / k) * o.bytes], o.bytes), 0)
                        << o.bytes << " bytes, k " << k << " at " << x << "," << y;
                for (int pad = width * k * o.bytes; pad < pitch; ++pad)
                    ASSERT_EQ(line[pad], 0xEE);
            }
        }
}

} // namespace
