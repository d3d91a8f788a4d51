// Typesetting for the picture generator: FreeType glyph coverage placed along a pen line.
#include "type.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tgagen {

namespace {

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "tgagen: %s\n", what.c_str());
    std::exit(1);
}

// Decodes UTF-8; a malformed byte stands for itself.
std::u32string decode(const std::string &s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
        char32_t code = extra ? c & (0x3f >> extra) : c;
        if (i + extra >= s.size())
            extra = 0, code = c;
        for (int k = 1; k <= extra; k++)
            code = (code << 6) | (s[i + k] & 0x3f);
        out.push_back(code);
        i += 1 + extra;
    }
    return out;
}

} // namespace

Face::Face(FT_Library library, const std::string &path) {
    if (FT_New_Face(library, path.c_str(), 0, &face_))
        fail("cannot open the font " + path);
}

Face::~Face() {
    FT_Done_Face(face_);
}

void Face::layout(const std::string &utf8, const Style &style, Mask *mask, float x, float baseline,
                  float *width) {
    if (FT_Set_Char_Size(face_, 0, FT_F26Dot6(std::lround(style.size * 64)), 72, 72))
        fail("cannot size the font");
    const FT_Int32 load = style.hinted ? FT_LOAD_TARGET_LIGHT : FT_LOAD_NO_HINTING;
    // The slant is a shear of the outline about the baseline.
    FT_Matrix shear = {0x10000, FT_Fixed(std::lround(style.slant * 0x10000)), 0, 0x10000};

    float pen = 0;
    FT_UInt previous = 0;
    const std::u32string text = decode(utf8);
    for (std::size_t i = 0; i < text.size(); i++) {
        FT_UInt index = FT_Get_Char_Index(face_, text[i]);
        if (previous && index && FT_HAS_KERNING(face_)) {
            FT_Vector kern;
            FT_Get_Kerning(face_, previous, index, FT_KERNING_UNFITTED, &kern);
            pen += kern.x / 64.0f;
        }
        previous = index;

        // Whole pixels go to the bitmap's placement, the fraction to the
        // outline, so unhinted text keeps its exact spacing.
        float where = x + pen;
        float whole = style.hinted ? std::round(where) : std::floor(where);
        FT_Vector delta = {FT_Pos(std::lround((where - whole) * 64)), 0};
        FT_Set_Transform(face_, &shear, &delta);
        if (FT_Load_Glyph(face_, index, load | FT_LOAD_RENDER))
            fail("cannot render a glyph");
        const FT_GlyphSlot slot = face_->glyph;
        if (mask) {
            const FT_Bitmap &bm = slot->bitmap;
            int left = int(whole) + slot->bitmap_left;
            int top = int(std::lround(baseline)) - slot->bitmap_top;
            for (unsigned row = 0; row < bm.rows; row++)
                for (unsigned col = 0; col < bm.width; col++) {
                    int mx = left + int(col), my = top + int(row);
                    if (mx < 0 || my < 0 || mx >= mask->width() || my >= mask->height())
                        continue;
                    float a = bm.buffer[row * bm.pitch + col] / 255.0f;
                    float &m = mask->ref(mx, my);
                    m = std::min(1.0f, m + a);
                }
        }
        float advance = style.hinted ? slot->advance.x / 64.0f : slot->linearHoriAdvance / 65536.0f;
        pen += advance + (i + 1 < text.size() ? style.tracking : 0);
    }
    FT_Set_Transform(face_, nullptr, nullptr);
    if (width)
        *width = pen;
}

float Face::measure(const std::string &utf8, const Style &style) {
    float width = 0;
    layout(utf8, style, nullptr, 0, 0, &width);
    return width;
}

void Face::set(Mask &mask, const std::string &utf8, const Style &style, float x, float baseline) {
    layout(utf8, style, &mask, x, baseline, nullptr);
}

float Face::cap_height(const Style &style) {
    if (FT_Set_Char_Size(face_, 0, FT_F26Dot6(std::lround(style.size * 64)), 72, 72) ||
        FT_Load_Char(face_, 'H', FT_LOAD_NO_HINTING))
        fail("cannot measure the font");
    return face_->glyph->metrics.height / 64.0f;
}

Fonts::Fonts(const std::string &directory) : directory_(directory) {
    if (FT_Init_FreeType(&library_))
        fail("cannot start FreeType");
}

Fonts::~Fonts() {
    for (Face *f : faces_)
        delete f;
    FT_Done_FreeType(library_);
}

Face &Fonts::get(int index, const char *file) {
    if (!faces_[index])
        faces_[index] = new Face(library_, directory_ + "/" + file);
    return *faces_[index];
}

Face &Fonts::sans() {
    return get(0, "DejaVuSans.ttf");
}
Face &Fonts::sans_bold() {
    return get(1, "DejaVuSans-Bold.ttf");
}
Face &Fonts::mono() {
    return get(2, "DejaVuSansMono.ttf");
}
Face &Fonts::mono_bold() {
    return get(3, "DejaVuSansMono-Bold.ttf");
}
Face &Fonts::serif() {
    return get(4, "DejaVuSerif.ttf");
}
Face &Fonts::serif_bold() {
    return get(5, "DejaVuSerif-Bold.ttf");
}

} // namespace tgagen
