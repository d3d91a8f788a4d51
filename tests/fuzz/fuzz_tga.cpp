// Fuzz target: any bytes as a Targa file in a scratch data/ directory, loaded and drawn at any
// place.
//
// Input: a 2-byte column and a 2-byte row (signed, little-endian) for the
// picture's top-left corner, then the file's bytes.
#include "demo/image.h"
#include "fuzz_support.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

vorbo_fuzz::guarded_frame *frame;

// The loader ends the process, by design, on a file shorter than the
// 18-byte header and on a size it cannot allocate. The first is passed over
// here; so are sizes above 1 Mi pixels (4 MiB, more than a whole frame),
// which would only slow the fuzzer down and meet its memory limit long
// before the loader's own refusal. Both exits are checked by the loader's
// unit tests and the fault tests.
const std::size_t header_bytes = 18;
const std::size_t pixel_offset = 38;
const std::size_t max_pixels = std::size_t(1) << 20;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const std::string dir = vorbo_fuzz::make_scratch_dir();
    if (chdir(dir.c_str()) != 0 || mkdir("data", 0700) != 0)
        vorbo_fuzz::fail("cannot set up the scratch data directory");
    frame = new vorbo_fuzz::guarded_frame;
    frame->install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 4 + header_bytes)
        return -1;
    const int x = vorbo_fuzz::s16_at(data, size, 0);
    const int y = vorbo_fuzz::s16_at(data, size, 2);
    const std::uint8_t *file = data + 4;
    const std::size_t file_size = size - 4;
    const unsigned width = file[12] | file[13] << 8;
    const unsigned height = file[14] | file[15] << 8;
    if (std::size_t(width) * height > max_pixels)
        return -1;
    vorbo_fuzz::write_file("data/fuzz.tga", file, file_size);

    demo::pic_s pic{};
    demo::loadimage("fuzz.tga", pic);
    if (pic.width != static_cast<int>(width) || pic.height != static_cast<int>(height))
        vorbo_fuzz::fail("picture size is not the header's");
    if (!pic.pixels)
        vorbo_fuzz::fail("loaded picture has no pixel block");

    // Pixels are the file's bytes from offset 38 on, zero where it ends.
    const std::size_t bytes = std::size_t(width) * height * 4;
    const std::size_t supplied =
        file_size > pixel_offset ? std::min(file_size - pixel_offset, bytes) : 0;
    const std::uint8_t *stored = reinterpret_cast<const std::uint8_t *>(pic.pixels);
    if (supplied && std::memcmp(stored, file + pixel_offset, supplied) != 0)
        vorbo_fuzz::fail("pixels differ from the file's bytes");
    static const std::uint8_t zeros[65536] = {};
    for (std::size_t i = supplied; i < bytes; i += sizeof zeros)
        if (std::memcmp(stored + i, zeros, std::min(sizeof zeros, bytes - i)) != 0)
            vorbo_fuzz::fail("pixels the file does not supply are not zero");

    // Drawn anywhere, the picture covers exactly its part inside the frame.
    demo::drawimage(pic, x, y);
    if (!frame->guards_intact())
        vorbo_fuzz::fail("drawimage wrote outside the frame");
    const long long left = std::max<long long>(x, 0),
                    right = std::min<long long>((long long)x + pic.width, 640);
    for (int row = 0; row < 480; ++row) {
        const long long v = (long long)row - y;
        if (v < 0 || v >= pic.height || left >= right) {
            if (frame->row_drawn(row))
                vorbo_fuzz::fail("drawimage changed a row the picture does not cover");
            continue;
        }
        const unsigned *want = pic.pixels + v * pic.width + (left - x);
        if (!frame->background_between(row, 0, static_cast<int>(left)) ||
            !frame->background_between(row, static_cast<int>(right), 640) ||
            std::memcmp(frame->row(row) + left, want, (right - left) * sizeof(unsigned)) != 0)
            vorbo_fuzz::fail("drawimage frame differs from the picture placed there");
    }

    std::free(pic.pixels);
    frame->clear();
    return 0;
}
