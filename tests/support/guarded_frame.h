// A 640 x 480 test frame inside guard memory, for the unit tests and the fuzz targets.
#pragma once

#include "demo/demo.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace vorbo_test {

// How the frame's rows lie in memory.
enum class frame_rows {
    // Guard columns between the rows (rows 640 + 2 * guard pixels apart), so
    // that a write one pixel beyond a row's end lands in a guard rather than
    // in the next row.
    padded,
    // Rows without gaps, as gfxinit lays them out: what the clear and the
    // pictures' whole-block copies need. Guards lie only above and below.
    contiguous,
};

// The frame, surrounded by guard words that the code under test must never
// write, points the demo's frame globals at itself while it lives (and puts
// back whatever they pointed at before). The row table has exactly 480
// entries, so that reading an entry beyond it is caught by AddressSanitizer.
class guarded_frame {
  public:
    static constexpr int guard = 32; // guard rows above and below; guard columns when padded
    static constexpr unsigned guard_value = 0xdeadbeefu;
    static constexpr unsigned default_background = 0x5a5a5a5au;

    const unsigned background;

    explicit guarded_frame(frame_rows layout = frame_rows::padded,
                           unsigned background = default_background)
        : background(background), side(layout == frame_rows::padded ? guard : 0),
          stride(demo::frame_width + 2 * side),
          memory(static_cast<std::size_t>(stride) * (demo::frame_height + 2 * guard), guard_value),
          lines(demo::frame_height), saved_frame(demo::frame), saved_lines(demo::frame_lines) {
        demo::build_frame_lines(&memory[static_cast<std::size_t>(guard) * stride + side],
                                demo::frame_height, stride, lines.data());
        for (unsigned *row : lines)
            std::fill(row, row + demo::frame_width, background);
        install();
    }
    ~guarded_frame() {
        demo::frame = saved_frame;
        demo::frame_lines = saved_lines;
    }
    guarded_frame(const guarded_frame &) = delete;
    guarded_frame &operator=(const guarded_frame &) = delete;

    // Points the demo's frame globals at this frame (again).
    void install() {
        demo::frame_lines = lines.data();
        demo::frame = lines[0];
        demo::xres = demo::frame_width;
        demo::yres = demo::frame_height;
    }

    unsigned *row(int y) { return lines[y]; }
    const unsigned *row(int y) const { return lines[y]; }
    unsigned at(int x, int y) const { return lines[y][x]; }

    // True when some pixel of row y is not the background.
    bool row_drawn(int y) const { return !background_between(y, 0, demo::frame_width); }

    // True when pixels [from, to) of row y are all the background.
    bool background_between(int y, int from, int to) const {
        return std::all_of(lines[y] + std::max(from, 0), lines[y] + to,
                           [this](unsigned p) { return p == background; });
    }

    // How many pixels differ from value.
    long count_not(unsigned value) const {
        long n = 0;
        for (const unsigned *r : lines)
            n += static_cast<long>(std::count_if(r, r + demo::frame_width,
                                                 [value](unsigned p) { return p != value; }));
        return n;
    }

    // Bounding box (both ends included) of the pixels that differ from value;
    // false when there are none.
    bool bounds_not(unsigned value, int &x0, int &y0, int &x1, int &y1) const {
        x0 = y0 = 1 << 30;
        x1 = y1 = -1;
        for (int y = 0; y < demo::frame_height; ++y)
            for (int x = 0; x < demo::frame_width; ++x)
                if (lines[y][x] != value) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                    y0 = std::min(y0, y);
                    y1 = std::max(y1, y);
                }
        return x1 >= 0;
    }

    // Puts the background back into every row that was drawn on.
    void clear() {
        for (int y = 0; y < demo::frame_height; ++y)
            if (row_drawn(y))
                std::fill(lines[y], lines[y] + demo::frame_width, background);
    }

    // True when no guard word changed.
    bool guards_intact() const {
        for (int y = -guard; y < demo::frame_height + guard; ++y) {
            const unsigned *r = &memory[static_cast<std::size_t>(y + guard) * stride];
            const bool inside = y >= 0 && y < demo::frame_height;
            const int from = inside ? side + demo::frame_width : 0;
            if ((inside && !all_guard(r, side)) || !all_guard(r + from, stride - from))
                return false;
        }
        return true;
    }

  private:
    static bool all_guard(const unsigned *words, int count) {
        return std::all_of(words, words + count, [](unsigned w) { return w == guard_value; });
    }

    const int side;   // guard columns on each side of a row
    const int stride; // pixels from one row to the next
    std::vector<unsigned> memory;
    std::vector<unsigned *> lines;
    unsigned *saved_frame;
    unsigned **saved_lines;
};

} // namespace vorbo_test
