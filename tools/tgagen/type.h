// Typesetting for the picture generator: lines of text set with FreeType into coverage masks.
#pragma once

#include "canvas.h"

#include <string>

typedef struct FT_LibraryRec_ *FT_Library;
typedef struct FT_FaceRec_ *FT_Face;

namespace tgagen {

// How a line is set: size in pixels, extra space after every character,
// a slant (x shift per pixel of height, for a sloped face) and whether the
// outlines are hinted (crisper at small sizes, uneven spacing at large ones).
struct Style {
    float size;
    float tracking = 0;
    float slant = 0;
    bool hinted = false;
};

class Face {
  public:
    Face(FT_Library library, const std::string &path);
    ~Face();
    Face(const Face &) = delete;
    Face &operator=(const Face &) = delete;

    // Width of the line from the first pen position to the last advance.
    float measure(const std::string &utf8, const Style &style);
    // Sets the line into the mask with its pen starting at (x, baseline).
    void set(Mask &mask, const std::string &utf8, const Style &style, float x, float baseline);
    // Height above the baseline of capitals at this style's size.
    float cap_height(const Style &style);

  private:
    void layout(const std::string &utf8, const Style &style, Mask *mask, float x, float baseline,
                float *width);
    FT_Face face_ = nullptr;
};

class Fonts {
  public:
    explicit Fonts(const std::string &directory);
    ~Fonts();
    Face &sans();
    Face &sans_bold();
    Face &mono();
    Face &mono_bold();
    Face &serif();
    Face &serif_bold();

  private:
    FT_Library library_ = nullptr;
    std::string directory_;
    Face *faces_[6] = {};
    Face &get(int index, const char *file);
};

} // namespace tgagen
