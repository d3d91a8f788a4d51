// Helpers shared by the fuzz targets: a guarded frame, scratch files, and failing loudly.
#pragma once

#include "demo/demo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vorbo_fuzz {

// A property of the code under test did not hold: say which and stop, so
// that libFuzzer (or the replay driver under ctest) records the input.
[[noreturn]] inline void fail(const char *what) {
    std::fprintf(stderr, "fuzz property violated: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

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

// A fresh directory under $TMPDIR (or /tmp) for this process's scratch files,
// removed when the process exits normally. Call it once per process.
std::string make_scratch_dir();

// Writes size bytes to path, replacing the file; fails loudly if it cannot.
void write_file(const std::string &path, const std::uint8_t *data, std::size_t size);

// Little-endian readers that treat missing bytes as zero.
inline unsigned byte_at(const std::uint8_t *data, std::size_t size, std::size_t i) {
    return i < size ? data[i] : 0u;
}
inline int s16_at(const std::uint8_t *data, std::size_t size, std::size_t i) {
    return static_cast<std::int16_t>(byte_at(data, size, i) | byte_at(data, size, i + 1) << 8);
}
inline std::uint32_t u32_at(const std::uint8_t *data, std::size_t size, std::size_t i) {
    return byte_at(data, size, i) | byte_at(data, size, i + 1) << 8 |
           byte_at(data, size, i + 2) << 16 |
           static_cast<std::uint32_t>(byte_at(data, size, i + 3)) << 24;
}

} // namespace vorbo_fuzz
