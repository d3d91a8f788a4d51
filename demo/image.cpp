// Targa picture loading and the row-by-row blit into the frame buffer.
#include "demo/image.h"

#include "demo/check.h"
#include "demo/demo.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace demo {

static_assert(sizeof(unsigned) == 4, "pixels are 32-bit words");

namespace {

const long pixel_offset = 38; // 18-byte header + room for a 20-byte image ID

unsigned header_u16(const unsigned char *header, int offset) {
    return header[offset] | (header[offset + 1] << 8);
}

} // namespace

void loadimage(const std::string &name, pic_s &pic) {
    const std::string path = "data/" + name;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        const int error = errno;
        std::fprintf(stderr, "fopen(%s)\n", path.c_str());
        struct stat data;
        if (stat("data", &data) != 0 || !S_ISDIR(data.st_mode))
            std::fprintf(
                stderr,
                "%s: %s; there is no data directory here: the programs read their media from "
                "data/ in the working directory (the build folder after a build)\n",
                path.c_str(), std::strerror(error));
        else
            std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(error));
        std::exit(1);
    }

    // fread leaves errno alone at end of file, so a short header would be
    // reported with whatever error some earlier call left behind.
    unsigned char header[18];
    errno = 0;
    if (std::fread(header, 1, sizeof header, file) != sizeof header) {
        if (errno == 0)
            errno = ENODATA;
        std::perror("read()");
        std::exit(1);
    }
    std::fseek(file, pixel_offset, SEEK_SET);

    const unsigned width = header_u16(header, 12);
    const unsigned height = header_u16(header, 14);
    // 65535 x 65535 words is 16 GiB: more than a 32-bit size_t holds and more
    // than many machines will give. calloc zero-fills, so the pixels a short
    // file does not supply read as 0.
    const std::size_t count = std::size_t(width) * height;
    unsigned *pixels = nullptr;
    if (count <= SIZE_MAX / sizeof(unsigned))
        pixels = static_cast<unsigned *>(std::calloc(count ? count : 1, sizeof(unsigned)));
    if (!pixels) {
        std::fprintf(stderr, "%s: no memory for %ux%u pixels\n", path.c_str(), width, height);
        std::exit(1);
    }

    // Whole bytes: a file that ends inside a pixel supplies its low bytes.
    const std::size_t bytes = count * sizeof(unsigned);
    if (std::fread(pixels, 1, bytes, file) < bytes) {
        // A file that ends early (or cannot be read further) still loads, and
        // says nothing: the pixels it did not supply stay 0 from calloc.
    }
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (std::size_t i = 0; i < count; i++)
        pixels[i] = __builtin_bswap32(pixels[i]);
#endif
    std::fclose(file);

    pic.width = static_cast<int>(width);
    pic.height = static_cast<int>(height);
    pic.pixels = pixels;
}

void drawimage(const pic_s &pic, int x, int y) {
    if (pic.width <= 0 || pic.height <= 0)
        return;
    DEMO_CHECK(pic.pixels != nullptr);
    DEMO_CHECK(frame_lines != nullptr);

    // The visible part: columns [left, right) and rows [top, bottom) of the
    // frame, in 64-bit so that x + width cannot overflow.
    const long long left = std::max<long long>(x, 0);
    const long long right = std::min<long long>((long long)x + pic.width, frame_width);
    const long long top = std::max<long long>(y, 0);
    const long long bottom = std::min<long long>((long long)y + pic.height, frame_height);
    if (left >= right || top >= bottom)
        return;

    // Rows that follow one another in memory both in the picture (the whole
    // width is copied) and in the frame (each row starts where the previous
    // copied part ends) are copied as one block: one call of the C library's
    // copy, at its full speed, instead of one short copy per row.
    const long long width = right - left;
    const unsigned *source = pic.pixels + (top - y) * pic.width + (left - x);
    const bool whole_rows = width == pic.width;
    for (long long row = top; row < bottom;) {
        unsigned *destination = frame_lines[row] + left;
        long long rows = 1;
        if (whole_rows)
            while (row + rows < bottom &&
                   frame_lines[row + rows] + left == destination + rows * width)
                ++rows;
        std::memcpy(destination, source, std::size_t(rows * width) * sizeof(unsigned));
        row += rows;
        source += rows * pic.width;
    }
}

} // namespace demo
