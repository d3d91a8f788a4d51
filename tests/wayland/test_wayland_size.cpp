// The Wayland client's buffer size: the output's physical pixels at whole and fractional scales.
#include "ptc/desktop_wayland.h"

#include <gtest/gtest.h>

// The presenter's quit hook, which no test here reaches.
void ptc_cleanup_callback() {}

TEST(WaylandSize, WholeScalesMultiplyTheLogicalSizeAndSetTheBufferScale) {
    for (int scale = 1; scale <= 4; ++scale) {
        for (bool viewport : {false, true}) {
            // Without a fractional scale the viewport is not used.
            const auto size = ptc_wayland_size_for(1920, 1080, scale, 0, viewport);
            EXPECT_EQ(size.buffer_width, 1920 * scale);
            EXPECT_EQ(size.buffer_height, 1080 * scale);
            EXPECT_EQ(size.buffer_scale, scale);
            EXPECT_FALSE(size.viewport);
        }
    }
}

TEST(WaylandSize, FractionalScalesRoundHalfAwayFromZeroThroughAViewport) {
    struct {
        int width, height, scale_120, buffer_width, buffer_height;
    } cases[] = {
        {1280, 720, 180, 1920, 1080},  // 150 %
        {1536, 864, 150, 1920, 1080},  // 125 %
        {2194, 1234, 210, 3840, 2160}, // 175 %: 3839.5 x 2159.5
        {640, 480, 120, 640, 480},     // 100 %
    };
    for (const auto &c : cases) {
        const auto size = ptc_wayland_size_for(c.width, c.height, 2, c.scale_120, true);
        EXPECT_EQ(size.buffer_width, c.buffer_width) << c.scale_120;
        EXPECT_EQ(size.buffer_height, c.buffer_height) << c.scale_120;
        EXPECT_EQ(size.buffer_scale, 1);
        EXPECT_TRUE(size.viewport);
        EXPECT_EQ(size.logical_width, c.width);
        EXPECT_EQ(size.logical_height, c.height);
    }
    // No viewport to map it: the whole scale instead.
    EXPECT_EQ(ptc_wayland_size_for(1280, 720, 2, 180, false).buffer_width, 2560);
}

TEST(WaylandSize, SizesAndScalesBeyondAnyOutputAreHeld) {
    const auto negative = ptc_wayland_size_for(-5, -1, -3, -120, true);
    EXPECT_EQ(negative.buffer_width, 0);
    EXPECT_EQ(negative.buffer_height, 0);
    const auto huge = ptc_wayland_size_for(1 << 30, 1 << 30, 1 << 20, 1 << 30, true);
    EXPECT_LE(static_cast<long long>(huge.buffer_width), 16384LL * 16);
    EXPECT_LE(static_cast<long long>(huge.buffer_height), 16384LL * 16);
}
