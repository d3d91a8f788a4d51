// A 640 x 480 test frame inside guard rows and columns, wired into demo::frame_lines.
#pragma once

#include "demo/demo.h"
#include "tests/support/guarded_frame.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace vorbo_test {

typedef std::set<std::pair<int, int>> PixelSet; // (x, y)

// The shared guarded frame, installed for each test: any write outside the
// frame lands in a guard and is caught.
class PaddedFrame : public ::testing::Test {
  protected:
    static constexpr unsigned background = guarded_frame::default_background;

    guarded_frame frame;
    unsigned **lines = nullptr; // the frame's rows, as the code under test sees them

    void SetUp() override {
        frame.install();
        lines = demo::frame_lines;
    }
    void TearDown() override {
        demo::frame_lines = nullptr;
        demo::frame = nullptr;
    }

    void clear_frame() { frame.clear(); }
    unsigned at(int x, int y) const { return frame.at(x, y); }
    bool guards_intact() const { return frame.guards_intact(); }

    // Every pixel that no longer holds the background.
    PixelSet drawn() const {
        PixelSet set;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (lines[y][x] != background)
                    set.insert({x, y});
        return set;
    }

    // The drawn pixels are exactly `expected`, all in `colour`.
    void expect_exactly(const PixelSet &expected, unsigned colour) {
        EXPECT_EQ(drawn(), expected);
        for (const auto &p : expected)
            EXPECT_EQ(at(p.first, p.second), colour) << "at " << p.first << "," << p.second;
        EXPECT_TRUE(guards_intact());
    }
};

// Pixels of the rectangle [x0, x1] x [y0, y1], both ends included.
inline PixelSet rect(int x0, int x1, int y0, int y1) {
    PixelSet set;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            set.insert({x, y});
    return set;
}

inline PixelSet operator+(PixelSet a, const PixelSet &b) {
    a.insert(b.begin(), b.end());
    return a;
}
inline PixelSet operator-(PixelSet a, const PixelSet &b) {
    for (const auto &p : b)
        a.erase(p);
    return a;
}

} // namespace vorbo_test
