// The programs' icon for desktop menus: the show's banded sun over its grid, with a chrome V.
#include "icon.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <png.h>
#include <vector>

namespace tgagen {

namespace {

Icon draw_icon(Fonts &fonts, int size) {
    const float s = size / 256.0f; // drawn for 256 pixels, in proportion at any size
    const float horizon = 170 * s;

    // Sky above the horizon, the grid's floor below it.
    Canvas scene(size, size, rgb(0x000000));
    scene.each([&](float x, float y, Colour &px) {
        if (y < horizon) {
            px = gradient({{0.0f, rgb(0x120a3a)}, {0.7f, rgb(0x5a1660)}, {1.0f, rgb(0xc02a70)}},
                          y / horizon);
            return;
        }
        float depth = (y - horizon) / (size - horizon); // 0 at the horizon, 1 at the bottom
        px = mix(rgb(0x2a0a3a), rgb(0x12051c), depth);
        // Lines across at growing spacing, and lines that meet at the sun.
        float across = std::fabs(std::fmod(std::sqrt(depth) * 6, 1.0f) - 0.5f);
        float u = (x - size / 2.0f) / (depth * size + 1e-3f);
        float along = std::fabs(std::fmod(u * 6 + 100.5f, 1.0f) - 0.5f);
        float line = std::max(smoothstep(0.44f, 0.5f, across), smoothstep(0.42f, 0.5f, along));
        // Faded out towards the horizon, where the lines crowd closer than pixels.
        px = mix(px, rgb(0xff3fd0), line * (0.4f + 0.6f * depth) * smoothstep(0.0f, 0.25f, depth));
    });

    // The sun, cut by bands towards the horizon.
    const float sun_y = 128 * s, sun_r = 76 * s;
    Mask sun = Mask::shape(
        size, size, [&](float x, float y) { return sd_circle(x, y, size / 2.0f, sun_y, sun_r); });
    sun.multiply(Mask::field(size, size, [&](float, float y) {
        if (y > horizon)
            return 0.0f;
        float u = (y - 110 * s) / (horizon - 110 * s);
        if (u < 0)
            return 1.0f;
        float period = (22 - 6 * u) * s, gap = (2 + 8 * u) * s;
        float phase = std::fmod(y - 110 * s, period);
        return clamp01(std::min(phase - gap, period - phase) + 0.5f);
    }));
    scene.glow(sun.blurred(std::max(1, int(10 * s))), rgb(0xff6a4a), 0.5f);
    scene.paint(sun, [&](float, float y) {
        return gradient({{0.0f, rgb(0xfff08a)}, {0.5f, rgb(0xffa04a)}, {1.0f, rgb(0xff2f86)}},
                        (y - (sun_y - sun_r)) / (horizon - (sun_y - sun_r)));
    });

    // A chrome V across the sun.
    Style style{150 * s};
    Face &face = fonts.sans_bold();
    Mask v(size, size);
    face.set(v, "V", style, (size - face.measure("V", style)) / 2, 175 * s);
    scene.glow(v.blurred(std::max(1, int(6 * s))), rgb(0x40c8ff), 0.6f);
    scene.paint(v, [&](float, float y) {
        return gradient({{0.0f, rgb(0xf4f8ff)},
                         {0.5f, rgb(0x8fb6ff)},
                         {0.52f, rgb(0x6a4fb0)},
                         {1.0f, rgb(0xf0d0ff)}},
                        (y - 60 * s) / (120 * s));
    });

    // A rounded tile, transparent around it.
    Mask tile = Mask::shape(size, size, [&](float x, float y) {
        return sd_round_box(x, y, size / 2.0f, size / 2.0f, 124 * s, 124 * s, 40 * s);
    });
    return {scene, tile};
}

} // namespace

// Small icons are drawn four times larger and averaged down, so that the grid
// and the sun's bands stay smooth.
Icon picture_icon(Fonts &fonts, int size) {
    const int k = size < 128 ? 4 : 1;
    Icon large = draw_icon(fonts, size * k);
    if (k == 1)
        return large;
    Icon small{Canvas(size, size, rgb(0x000000)), Mask(size, size)};
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            Colour sum = {0, 0, 0};
            float alpha = 0;
            for (int j = 0; j < k; j++)
                for (int i = 0; i < k; i++) {
                    float a = large.alpha.at(x * k + i, y * k + j);
                    sum = sum + large.colour.at(x * k + i, y * k + j) * a;
                    alpha += a;
                }
            small.colour.at(x, y) = alpha > 0 ? sum * (1 / alpha) : sum;
            small.alpha.ref(x, y) = alpha / (k * k);
        }
    return small;
}

bool write_png(const Icon &icon, const std::string &path) {
    const int w = icon.colour.width(), h = icon.colour.height();
    std::vector<png_byte> rgba(static_cast<std::size_t>(w) * h * 4);
    auto level = [](float v) { return png_byte(std::lround(clamp01(v) * 255)); };
    png_byte *p = rgba.data();
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++, p += 4) {
            const Colour &c = icon.colour.at(x, y);
            p[0] = level(c.r);
            p[1] = level(c.g);
            p[2] = level(c.b);
            p[3] = level(icon.alpha.at(x, y));
        }
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

bool write_cardinals(const std::vector<Icon> &icons, const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    std::fputs(
        "// vorbo-desktop's window icon (_NET_WM_ICON): generated by tgagen --icon-cardinals.\n"
        "#pragma once\n\n#include <cstdint>\n\n"
        "static const std::uint32_t vorbo_icon_cardinals[] = {\n",
        f);
    auto level = [](float v) { return static_cast<unsigned>(std::lround(clamp01(v) * 255)); };
    for (const Icon &icon : icons) {
        const int w = icon.colour.width(), h = icon.colour.height();
        std::fprintf(f, "    %d, %d,", w, h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const Colour &c = icon.colour.at(x, y);
                const unsigned argb = level(icon.alpha.at(x, y)) << 24 | level(c.r) << 16 |
                                      level(c.g) << 8 | level(c.b);
                std::fprintf(f, "%s0x%08x,", x % 8 == 0 ? "\n    " : " ", argb);
            }
        std::fputs("\n", f);
    }
    std::fputs("};\n", f);
    return std::fclose(f) == 0;
}

} // namespace tgagen
