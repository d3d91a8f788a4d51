// The frame buffer and its row table, and the clear that starts every frame.
#include "demo/frame_buffer.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>

namespace demo {

unsigned *frame = nullptr;
unsigned **frame_lines = nullptr;
int xres = 0;
int yres = 0;

void clear(unsigned value) {
#if WCHAR_MAX == 0x7fffffff || WCHAR_MAX == 0xffffffffu
    // wmemset stores 32-bit words with the widest stores the CPU has (chosen
    // by the C library at load time), as fast as memset; std::fill compiles to
    // the 16-byte stores of the baseline target and takes about 1.6 times as
    // long. The conversion to a signed wchar_t keeps all 32 bits.
    static_assert(sizeof(wchar_t) == sizeof(unsigned), "wchar_t must be a 32-bit word");
    std::wmemset(reinterpret_cast<wchar_t *>(frame), static_cast<wchar_t>(value), frame_pixels);
#else
    std::fill(frame, frame + frame_pixels, value);
#endif
}

void build_frame_lines(unsigned *block, int height, int pitch, unsigned **lines) {
    for (int y = 0; y < height; ++y)
        lines[y] = block + static_cast<std::ptrdiff_t>(y) * pitch;
}

} // namespace demo
