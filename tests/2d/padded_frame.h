// A 640 x 480 test frame inside guard rows and columns, wired into demo::frame_lines.
#pragma once

#include "demo/demo.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace vorbo_test {

typedef std::set<std::pair<int, int>> PixelSet; // (x, y)

// Rows are 640 + 2 * guard pixels apart, with guard rows above and below, so
// any write outside the frame lands in a guard and is caught.
class PaddedFrame : public ::testing::Test {
  protected:
    static constexpr int guard = 24;
    static constexpr int stride = 640 + 2 * guard;
    static constexpr unsigned background = 0x5a5a5a5au;
    static constexpr unsigned guard_value = 0xdeadbeefu;

    std::vector<unsigned> memory;
    std::vector<unsigned *> lines;

    void SetUp() override {
        memory.assign(static_cast<size_t>(stride) * (480 + 2 * guard), guard_value);
        lines.resize(480);
        for (int y = 0; y < 480; ++y)
            lines[y] = &memory[static_cast<size_t>(y + guard) * stride + guard];
        demo::frame_lines = lines.data();
        demo::frame = lines[0];
        clear_frame();
    }
    void TearDown() override {
        demo::frame_lines = nullptr;
        demo::frame = nullptr;
    }

    void clear_frame() {
        for (int y = 0; y < 480; ++y)
            std::fill(lines[y], lines[y] + 640, background);
    }
    unsigned at(int x, int y) const { return lines[y][x]; }

    // Every pixel that no longer holds the background.
    PixelSet drawn() const {
        PixelSet set;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (lines[y][x] != background)
                    set.insert({x, y});
        return set;
    }

    bool guards_intact() const {
        for (int y = -guard; y < 480 + guard; ++y)
            for (int x = -guard; x < 640 + guard; ++x) {
                bool inside = y >= 0 && y < 480 && x >= 0 && x < 640;
                if (!inside &&
                    memory[static_cast<size_t>(y + guard) * stride + x + guard] != guard_value)
                    return false;
            }
        return true;
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
