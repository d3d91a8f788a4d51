// The frame the presenter test programs show: every channel value, and a top byte to ignore.
#pragma once

#include <cstddef>
#include <vector>

namespace vorbo_test {

// width x height pseudo-random 32-bit pixels, the same in every run: every
// value of each channel, and a top byte that the converters must ignore.
inline std::vector<unsigned> known_frame(int width, int height) {
    std::vector<unsigned> frame(static_cast<std::size_t>(width) * height);
    unsigned seed = 12345;
    for (unsigned &pixel : frame) {
        seed = seed * 1103515245u + 12345u;
        pixel = seed ^ (seed >> 16);
    }
    return frame;
}

} // namespace vorbo_test
