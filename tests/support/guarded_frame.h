// A 640 x 480 test frame inside guard rows and columns, for the unit tests and the fuzz targets.
#pragma once

#include "demo/demo.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace vorbo_test {

// The 640 x 480 frame inside guard rows and columns. Rows are 640 + 2 * guard
// pixels apart, so a write one pixel beyond a row's end lands in a guard
// column rather than in the next row; the row table has exactly 480 entries,
// so that reading an entry beyond it is caught by AddressSanitizer.
class guarded_frame {
  public:
    static constexpr int guard = 32;
    static constexpr int stride = 640 + 2 * guard;
    static constexpr unsigned guard_value = 0xdeadbeefu;
    static constexpr unsigned background = 0x5a5a5a5au;

    guarded_frame()
        : memory(static_cast<std::size_t>(stride) * (480 + 2 * guard), guard_value), lines(480),
          background_row(640, background), guard_row(stride, guard_value) {
        for (int y = 0; y < 480; ++y)
            lines[y] = &memory[static_cast<std::size_t>(y + guard) * stride + guard];
        for (int y = 0; y < 480; ++y)
            std::fill(lines[y], lines[y] + 640, background);
    }

    // Points the demo's frame globals at this frame.
    void install() {
        demo::frame_lines = lines.data();
        demo::frame = lines[0];
        demo::xres = 640;
        demo::yres = 480;
    }

    unsigned *row(int y) { return lines[y]; }
    const unsigned *row(int y) const { return lines[y]; }
    unsigned at(int x, int y) const { return lines[y][x]; }

    // True when some pixel of row y is not the background.
    bool row_drawn(int y) const {
        return std::memcmp(lines[y], background_row.data(), 640 * sizeof(unsigned)) != 0;
    }

    // True when pixels [from, to) of row y are all the background.
    bool background_between(int y, int from, int to) const {
        return from >= to ||
               std::memcmp(lines[y] + from, background_row.data(),
                           static_cast<std::size_t>(to - from) * sizeof(unsigned)) == 0;
    }

    // Puts the background back into every row that was drawn on.
    void clear() {
        for (int y = 0; y < 480; ++y)
            if (row_drawn(y))
                std::fill(lines[y], lines[y] + 640, background);
    }

    // True when no guard word changed.
    bool guards_intact() const {
        const std::size_t side = guard * sizeof(unsigned);
        for (int y = -guard; y < 480 + guard; ++y) {
            const unsigned *r = &memory[static_cast<std::size_t>(y + guard) * stride];
            if (y < 0 || y >= 480) {
                if (std::memcmp(r, guard_row.data(), stride * sizeof(unsigned)) != 0)
                    return false;
            } else if (std::memcmp(r, guard_row.data(), side) != 0 ||
                       std::memcmp(r + guard + 640, guard_row.data(), side) != 0) {
                return false;
            }
        }
        return true;
    }

  private:
    std::vector<unsigned> memory;
    std::vector<unsigned *> lines;
    std::vector<unsigned> background_row;
    std::vector<unsigned> guard_row;
};

} // namespace vorbo_test
