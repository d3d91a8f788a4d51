// Pictures: uncompressed 32-bit Targa files loaded once and copied into the frame.
#pragma once

#include <string>

namespace demo {

// A loaded picture: width x height pixels 0xXXRRGGBB (the top byte as the file
// stored it), row after row from the top down, no gap between rows. The block
// is allocated by loadimage and never freed.
struct pic_s {
    int width;
    int height;
    unsigned *pixels;
};

// Loads "data/" + name (relative to the working directory) into pic: the size
// from the 18-byte header, the pixels from byte 38 on. Pixels the file does
// not supply are zero. Any failure prints one line on standard error and ends
// the process with status 1.
void loadimage(const std::string &name, pic_s &pic);

// Copies the whole picture into the frame with its top-left pixel at column x,
// row y, top bytes included; the parts that fall outside the frame are left out.
void drawimage(const pic_s &pic, int x, int y);

} // namespace demo
