// Helpers shared by the fuzz targets: a guarded frame, scratch files, and failing loudly.
#pragma once

#include "tests/support/guarded_frame.h"

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

using vorbo_test::guarded_frame;

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
