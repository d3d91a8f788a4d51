// The programs' icon for desktop menus, and its PNG file.
#pragma once

#include "canvas.h"
#include "type.h"

#include <string>

namespace tgagen {

// A square picture of size x size pixels and its coverage (the alpha of the file).
struct Icon {
    Canvas colour;
    Mask alpha;
};

Icon picture_icon(Fonts &fonts, int size);

// Writes the icon as an 8-bit RGBA PNG file; false when it cannot be written.
bool write_png(const Icon &icon, const std::string &path);

} // namespace tgagen
