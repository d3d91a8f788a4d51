// The packed demo clock, the frame clear and the frame set-up.
#include "demo/demo.h"
#include "tests/support/guarded_frame.h"
#include "tests/support/wall_clock.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using vorbo_test::wall_seconds;

unsigned seconds_field(unsigned t) {
    return t >> 20;
}
unsigned micros_field(unsigned t) {
    return t & 0xFFFFF;
}

TEST(DemoClock, SecondsFieldCountsWallClockSecondsSinceStart) {
    demo::starttime = wall_seconds();
    unsigned t = demo::time();
    // A second boundary may pass between the two readings; then it reads 1.
    EXPECT_LE(seconds_field(t), 1u);
    EXPECT_LT(micros_field(t), 1000000u);

    demo::starttime = wall_seconds() - 58;
    EXPECT_GE(seconds_field(demo::time()), 58u);
    EXPECT_LE(seconds_field(demo::time()), 59u);
}

TEST(DemoClock, ClockSetBackWrapsTheSecondsField) {
    demo::starttime = wall_seconds() + 1;
    unsigned s = seconds_field(demo::time());
    // One second before the start reads as 4095 (or 0 if the boundary passed).
    EXPECT_TRUE(s == 4095u || s == 0u) << s;
    demo::starttime = wall_seconds() + 10;
    EXPECT_GE(seconds_field(demo::time()), 4086u);
}

TEST(DemoClock, SecondBoundaryStepsByAtLeast48577) {
    demo::starttime = wall_seconds();
    unsigned first = demo::time();
    unsigned before = first;
    unsigned after = first;
    // Poll the clock itself across the next boundary (at most about 1 s).
    while (seconds_field(after) == seconds_field(first)) {
        before = after;
        after = demo::time();
    }
    EXPECT_EQ(seconds_field(after), seconds_field(first) + 1);
    EXPECT_GE(after - before, 48577u);
}

TEST(DemoClock, TimeSourceReplacesTheWallClock) {
    demo::time_source = [] { return 42u << 20 | 123u; };
    EXPECT_EQ(demo::time(), 42u << 20 | 123u);
    demo::time_source = nullptr;
}

TEST(Frame, GfxinitWithoutGraphicsSetsUpFrameAndClock) {
    demo::nogfx = true;
    ASSERT_EQ(demo::gfxinit(640, 480), 1);
    EXPECT_EQ(demo::xres, 640);
    EXPECT_EQ(demo::yres, 480);
    for (int y = 0; y < 480; ++y)
        ASSERT_EQ(demo::frame_lines[y], demo::frame + y * 640);
    EXPECT_LE(seconds_field(demo::time()), 1u);
}

TEST(Frame, ClearWritesEveryPixelAndNothingElse) {
    vorbo_test::guarded_frame frame(vorbo_test::frame_rows::contiguous);
    demo::clear(0);
    EXPECT_EQ(frame.count_not(0), 0);
    EXPECT_TRUE(frame.guards_intact());
    demo::clear(0xAB123456);
    EXPECT_EQ(frame.at(0, 0), 0xAB123456u);
    EXPECT_EQ(frame.at(639, 479), 0xAB123456u);
    EXPECT_EQ(frame.count_not(0xAB123456), 0);
    EXPECT_TRUE(frame.guards_intact());
}

} // namespace
