// The programs' icon for desktop menus, its PNG file, and the window icon compiled into
// vorbo-desktop.
#pragma once

#include "canvas.h"
#include "type.h"

#include <string>
#include <vector>

namespace tgagen {

// A square picture of size x size pixels and its coverage (the alpha of the file).
struct Icon {
    Canvas colour;
    Mask alpha;
};

Icon picture_icon(Fonts &fonts, int size);

// Writes the icon as an 8-bit RGBA PNG file; false when it cannot be written.
bool write_png(const Icon &icon, const std::string &path);

// Writes the icons as a C++ header of one array of 32-bit words, the way a
// window's _NET_WM_ICON holds them: for each icon its width, its height, then
// its pixels 0xAARRGGBB row by row (alpha not premultiplied); false when it
// cannot be written.
bool write_cardinals(const std::vector<Icon> &icons, const std::string &path);

} // namespace tgagen
