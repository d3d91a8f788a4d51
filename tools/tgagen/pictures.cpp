// The show's six pictures, drawn procedurally with text set in DejaVu faces.
#include "pictures.h"

#include <algorithm>
#include <cmath>

namespace tgagen {

namespace {

const float pi = 3.14159265358979f;

// Palette shared by the show's cards.
const Colour ink = rgb(0x05060c);
const Colour paper = rgb(0xeee8dc);
const Colour indigo = rgb(0x1b1c4a);
const Colour pink = rgb(0xff5fa2);
const Colour amber = rgb(0xffb347);
const Colour cyan = rgb(0x5fe3ff);
const Colour dusk = rgb(0x5a6488);

// Darkens the borders to black so that a centred card melts into the black
// frame around it instead of ending in a hard edge.
void fade_edges(Canvas &c, float top, float bottom, float left, float right) {
    c.each([&](float x, float y, Colour &px) {
        float k = 1;
        if (top > 0)
            k *= smoothstep(0, top, y);
        if (bottom > 0)
            k *= smoothstep(0, bottom, c.height() - y);
        if (left > 0)
            k *= smoothstep(0, left, x);
        if (right > 0)
            k *= smoothstep(0, right, c.width() - x);
        px = px * k;
    });
}

// Fine film grain, stronger in the mid-tones than in black.
void grain(Canvas &c, float amount, uint32_t seed) {
    c.each([&](float x, float y, Colour &px) {
        float n = (hash(int(x), int(y), seed) - 0.5f) * amount;
        float lum = 0.3f * px.r + 0.6f * px.g + 0.1f * px.b;
        float k = std::min(1.0f, lum * 6);
        px = px + Colour{n, n, n} * k;
    });
}

// A line of text in a canvas-sized mask, centred on x when align is 0,
// starting at x when align is -1, ending at x when align is 1.
Mask line(const Canvas &c, Face &face, const std::string &text, const Style &style, float x,
          float baseline, int align = 0) {
    Mask m(c.width(), c.height());
    float w = face.measure(text, style);
    float start = align == 0 ? x - w / 2 : align < 0 ? x : x - w;
    face.set(m, text, style, start, baseline);
    return m;
}

// Distance from (px, py) to the curve y = f(x), good near the curve.
template <class F> float curve_distance(F f, float px, float py) {
    float h = 0.5f;
    float slope = (f(px + h) - f(px - h)) / (2 * h);
    return std::fabs(py - f(px)) / std::sqrt(1 + slope * slope);
}

} // namespace

// The opening card: a flat line of silence that begins to move.
Canvas picture_silence(Fonts &fonts) {
    Canvas c(640, 300, ink);
    c.each([](float x, float y, Colour &px) {
        float r = std::hypot((x - 320) / 1.6f, y - 160) / 260;
        float mist = fbm(x / 90, y / 60, 11, 5);
        Colour base = mix(indigo, ink, smoothstep(0, 1, r));
        px = base + rgb(0x0c2030) * (mist * 0.9f * (1 - clamp01(r)));
    });

    // The waveform: flat on the left, swelling towards the right.
    auto envelope = [](float x) { return smoothstep(300, 540, x) * (1 - smoothstep(548, 590, x)); };
    auto wave = [&](float x) {
        float s = std::sin(x * 0.145f) * 0.55f + std::sin(x * 0.331f + 1.3f) * 0.3f +
                  std::sin(x * 0.061f + 0.4f) * 0.35f;
        return 190 + 40 * envelope(x) * s;
    };
    Mask trace = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        if (x < 40 || x > 600)
            return 99.0f;
        return curve_distance(wave, x, y) - 0.9f;
    });
    trace.multiply(Mask::field(c.width(), c.height(), [](float x, float) {
        return smoothstep(40, 120, x) * smoothstep(40, 120, 640 - x);
    }));
    auto trace_colour = [](float x, float) {
        return gradient({{0.0f, dusk}, {0.45f, rgb(0x8a90b8)}, {0.7f, pink}, {1.0f, amber}},
                        (x - 40) / 560);
    };
    c.paint(trace.blurred(6), trace_colour, 0.8f);
    c.paint(trace, trace_colour);

    Style caps{13, 7, 0, true};
    c.paint(line(c, fonts.mono(), "PROLOGUE", caps, 320, 62), dusk);

    Style title{64, 9};
    Mask word = line(c, fonts.serif(), "silence", title, 320, 140);
    c.glow(word.blurred(10), rgb(0x4050a0), 0.9f);
    c.paint(word, paper);

    Style coda{24, 1, 0.2f};
    c.paint(line(c, fonts.serif(), "\u2026 and then, sound.", coda, 320, 256), pink);

    grain(c, 0.035f, 5);
    fade_edges(c, 30, 30, 0, 0);
    return c;
}

// The title over a striped sun setting behind a neon grid.
Canvas picture_vorbo(Fonts &fonts) {
    const float horizon = 250;
    Canvas c(640, 360, ink);

    // Sky, stars and the sun's halo.
    c.each([&](float x, float y, Colour &px) {
        float t = y / horizon;
        px = gradient({{0.0f, rgb(0x070720)},
                       {0.45f, rgb(0x1c0f48)},
                       {0.8f, rgb(0x5a1660)},
                       {1.0f, rgb(0xc02a70)}},
                      t);
        float star = hash(int(x), int(y), 21);
        if (star > 0.9975f)
            px = px + paper * ((star - 0.9975f) / 0.0025f * (1 - smoothstep(0.2f, 0.7f, t)));
        float halo = std::hypot(x - 320, (y - 200) * 1.3f);
        px = px + rgb(0xff4f7a) * (0.35f * std::exp(-halo / 120));
    });

    // The sun, cut by bands that widen towards the horizon.
    const float sun_y = 200, sun_r = 112;
    Mask sun = Mask::shape(c.width(), c.height(),
                           [&](float x, float y) { return sd_circle(x, y, 320, sun_y, sun_r); });
    sun.multiply(Mask::field(c.width(), c.height(), [&](float, float y) {
        if (y > horizon)
            return 0.0f;
        float u = (y - 150) / (horizon - 150); // 0 where the bands begin
        if (u < 0)
            return 1.0f;
        float period = 22 - 8 * u;
        float gap = 1.5f + 9 * u;
        float phase = std::fmod(y - 150, period);
        return clamp01(std::min(phase - gap, period - phase) + 0.5f);
    }));
    auto sun_colour = [&](float, float y) {
        return gradient({{0.0f, rgb(0xfff08a)}, {0.5f, rgb(0xffa04a)}, {1.0f, rgb(0xff2f86)}},
                        (y - (sun_y - sun_r)) / (horizon - (sun_y - sun_r)));
    };
    c.glow(sun.blurred(14), rgb(0xff6a4a), 0.5f);
    c.paint(sun, sun_colour);

    // Hills on both sides, dark with a pink rim.
    auto ridge = [&](float x) {
        float away = smoothstep(120, 300, std::fabs(x - 320));
        return horizon - away * (14 + 46 * fbm(x / 70, 3.5f, 31, 4));
    };
    Mask hills =
        Mask::field(c.width(), c.height(), [&](float x, float y) { return y - ridge(x) + 0.5f; });
    Mask rim = hills;
    rim.subtract(hills.shifted(0, 2));
    c.paint(hills, [&](float, float y) {
        return mix(rgb(0x2a0c3a), rgb(0x12061f), smoothstep(horizon - 60, horizon, y));
    });
    c.paint(rim, rgb(0xff5fa2), 0.7f);

    // The floor and its grid, converging on the middle of the horizon.
    Mask floor = Mask::field(c.width(), c.height(), [&](float, float y) { return y - horizon; });
    c.paint(floor, [&](float, float y) {
        return mix(rgb(0x1e0838), rgb(0x07020f), smoothstep(horizon, 360, y));
    });
    Mask grid = Mask::field(
        c.width(), c.height(),
        [&](float x, float y) {
            float depth = y - horizon;
            if (depth <= 0)
                return 0.0f;
            // Rows: equal steps in 1/depth; columns: equal steps in x/depth.
            float z = 700 / depth;
            float row = std::fabs(z - std::round(z)) * depth * depth / 700;
            float u = (x - 320) / depth * 1.6f;
            float col = std::fabs(u - std::round(u)) * depth / 1.6f;
            float w = 0.5f + depth / 160;
            // Far rows crowd closer than a few pixels apart: they fade out first.
            float rows = (row < w ? 1.0f : 0.0f) * smoothstep(30, 90, depth);
            float cols = (col < w ? 1.0f : 0.0f) * smoothstep(0, 50, depth);
            return std::max(rows, cols);
        },
        4);
    c.glow(grid.blurred(3), rgb(0xff3dc8), 0.9f);
    c.paint(grid, rgb(0xff8ae8));
    Mask horizon_line = Mask::field(c.width(), c.height(),
                                    [&](float, float y) { return 1 - std::fabs(y - horizon); });
    c.glow(horizon_line.blurred(4), rgb(0xff5fa2), 1.5f);

    // VORBO in chrome, "returns" in neon across it.
    Style big{124, 6};
    Face &bold = fonts.sans_bold();
    const float base = 188;
    const float cap = bold.cap_height(big);
    Mask word = line(c, bold, "VORBO", big, 320, base);
    Mask edge = word.blurred(3);
    edge.scale(5);
    c.paint(edge.blurred(8).shifted(0, 8), ink, 0.8f);
    c.paint(edge, rgb(0x0c0820));
    c.paint(word, [&](float, float y) {
        float t = (y - (base - cap)) / cap;
        Colour top = gradient({{0.0f, rgb(0xf4fbff)}, {0.5f, rgb(0x6fa8ff)}}, t);
        Colour low =
            gradient({{0.5f, rgb(0x2a1550)}, {0.62f, rgb(0x8a3fa8)}, {1.0f, rgb(0xffc2ea)}}, t);
        return t < 0.5f ? top : low;
    });
    Mask shine = word;
    shine.multiply(Mask::field(c.width(), c.height(), [&](float, float y) {
        return 1 - std::fabs(y - (base - cap * 0.5f)) / 1.5f;
    }));
    c.paint(shine, rgb(0xffffff), 0.8f);

    Style script{58, 0, 0.22f};
    Face &serif = fonts.serif_bold();
    float word_right = 320 + bold.measure("VORBO", big) / 2;
    Mask neon = line(c, serif, "returns", script, word_right - 6, base + 58, 1);
    Mask tube = neon.blurred(2);
    tube.scale(3);
    c.paint(tube.blurred(6).shifted(0, 4), ink, 0.7f);
    c.glow(tube.blurred(10), cyan, 1.1f);
    c.paint(tube, rgb(0x1fb8e8));
    c.paint(neon, rgb(0xe6fbff));

    grain(c, 0.03f, 7);
    fade_edges(c, 36, 70, 0, 0);
    return c;
}

// A calm plate with an empty stage in the middle, where the pink cube turns.
Canvas picture_iknow(Fonts &fonts) {
    Canvas c(640, 480, ink);
    const float cx = 320, cy = 240;
    c.each([&](float x, float y, Colour &px) {
        float r = std::hypot(x - cx, y - cy);
        px = gradient({{0.0f, rgb(0x1c3a4c)}, {0.45f, rgb(0x0e1c2a)}, {1.0f, rgb(0x04070c)}},
                      r / 420);
        px = px + rgb(0x10202a) * (fbm(x / 120, y / 120, 41, 4) - 0.5f);
    });

    // A faint drafting grid that clears around the stage and towards the edges.
    Mask grid = Mask::field(c.width(), c.height(), [&](float x, float y) {
        // Distance to the nearest line of a 32-pixel grid through the centre.
        float gx = 16 - std::fabs(std::fmod(x - cx + 3200, 32) - 16);
        float gy = 16 - std::fabs(std::fmod(y - cy + 3200, 32) - 16);
        float r = std::hypot(x - cx, y - cy);
        return clamp01(1 - std::min(gx, gy)) * smoothstep(140, 190, r) *
               (1 - smoothstep(260, 420, r));
    });
    c.paint(grid, rgb(0x5fe3ff), 0.07f);

    // The stage: a soft pool of light and a graduated ring.
    c.each([&](float x, float y, Colour &px) {
        float r = std::hypot(x - cx, (y - cy));
        px = px + rgb(0x2a5a70) * (0.35f * std::exp(-r * r / (2 * 110 * 110)));
    });
    const float ring = 140;
    Mask circle = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        return std::fabs(sd_circle(x, y, cx, cy, ring)) - 0.6f;
    });
    Mask ticks = Mask::field(
        c.width(), c.height(),
        [&](float x, float y) {
            float r = std::hypot(x - cx, y - cy);
            float a = std::atan2(y - cy, x - cx) / (2 * pi) * 72; // 5-degree steps
            float along = std::fabs(a - std::round(a)) * 2 * pi * r / 72;
            bool major = int(std::lround(a) + 72) % 9 == 0;
            float inner = ring + 3, outer = ring + (major ? 14 : 7);
            return (r > inner && r < outer && along < (major ? 0.9f : 0.6f)) ? 1.0f : 0.0f;
        },
        3);
    c.paint(circle, cyan, 0.45f);
    c.paint(ticks, cyan, 0.55f);
    // Cross hairs on the ring's four compass points, pointing inwards.
    Mask hairs = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        float d = 99;
        for (int k = 0; k < 4; k++) {
            float ax = std::cos(k * pi / 2), ay = std::sin(k * pi / 2);
            d = std::min(d, sd_capsule(x, y, cx + ax * (ring - 16), cy + ay * (ring - 16),
                                       cx + ax * (ring - 6), cy + ay * (ring - 6), 0.7f));
        }
        return d;
    });
    c.paint(hairs, cyan, 0.6f);

    // Crop marks in the corners.
    Mask marks = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        float d = 99;
        for (int k = 0; k < 4; k++) {
            float sx = k & 1 ? 616 : 24, sy = k & 2 ? 456 : 24;
            float dx = k & 1 ? -1 : 1, dy = k & 2 ? -1 : 1;
            d = std::min(d, sd_capsule(x, y, sx, sy, sx + 18 * dx, sy, 0.6f));
            d = std::min(d, sd_capsule(x, y, sx, sy, sx, sy + 18 * dy, 0.6f));
        }
        return d;
    });
    c.paint(marks, paper, 0.5f);

    Style headline{62, -1};
    Mask know = line(c, fonts.sans_bold(), "i know.", headline, 50, 84, -1);
    c.paint(know.blurred(6).shifted(0, 4), ink, 0.7f);
    c.paint(know, paper);
    Style note{15, 0.5f, 0, true};
    c.paint(line(c, fonts.mono(), "you have seen", note, 54, 114, -1), cyan, 0.85f);
    c.paint(line(c, fonts.mono(), "a cube before.", note, 54, 134, -1), cyan, 0.85f);

    Style plate{13, 1.5f, 0, true};
    c.paint(line(c, fonts.mono(), "FIG. 3", plate, 596, 48, 1), paper, 0.55f);
    Style aside{24, 0, 0.2f};
    c.paint(line(c, fonts.serif(), "watch it turn anyway.", aside, 596, 430, 1), rgb(0xff8888));
    c.paint(line(c, fonts.mono(), "one cube \u00b7 pink \u00b7 three axes", plate, 596, 452, 1),
            paper, 0.5f);

    grain(c, 0.03f, 9);
    return c;
}

// Radio chatter on both sides of a gun-sight ring that the jet circles in.
Canvas picture_blah(Fonts &fonts) {
    Canvas c(640, 300, ink);
    const float cx = 320, cy = 140; // the screen centre, (320, 240), on this card
    c.each([&](float x, float y, Colour &px) {
        float r = std::hypot((x - cx) / 1.5f, y - cy);
        px = gradient({{0.0f, rgb(0x18204a)}, {0.5f, rgb(0x0c1230)}, {1.0f, rgb(0x04050e)}},
                      r / 260);
        px = px + rgb(0x101830) * (fbm(x / 50, y / 50, 51, 4) - 0.5f);
        if (int(y) % 3 == 0) // scan lines
            px = px * 0.82f;
    });

    // The sight: a broken ring with ticks, and four bracket corners.
    const float ring = 118;
    Mask sight = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        float d = std::fabs(sd_circle(x, y, cx, cy, ring)) - 0.7f;
        // Gaps at the four compass points.
        float a = std::atan2(y - cy, x - cx);
        float gap = std::fabs(std::remainder(a, pi / 2)) * ring;
        return std::max(d, 10 - gap);
    });
    Mask pips = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        float d = 99;
        for (int k = 0; k < 4; k++) {
            float ax = std::cos(k * pi / 2), ay = std::sin(k * pi / 2);
            d = std::min(d, sd_capsule(x, y, cx + ax * (ring - 8), cy + ay * (ring - 8),
                                       cx + ax * (ring + 8), cy + ay * (ring + 8), 0.8f));
        }
        return d;
    });
    Mask ticks = Mask::field(
        c.width(), c.height(),
        [&](float x, float y) {
            float r = std::hypot(x - cx, y - cy);
            float a = std::atan2(y - cy, x - cx) / (2 * pi) * 36;
            float along = std::fabs(a - std::round(a)) * 2 * pi * r / 36;
            return (r > ring + 4 && r < ring + 9 && along < 0.7f) ? 1.0f : 0.0f;
        },
        3);
    sight.unite(pips).unite(ticks);
    c.glow(sight.blurred(4), amber, 0.35f);
    c.paint(sight, amber, 0.75f);

    // The transcript: who speaks in colour, what they say in amber.
    Style mono{13, 0, 0, true};
    Face &face = fonts.mono();
    const float cell = face.measure("M", mono);
    struct Said {
        const char *who;
        const char *what;
    };
    const Said left[] = {
        {"TWR", "blah blah blah,"}, {"", "blah blah."},  {"V-1", "blah?"},
        {"TWR", "blah. blah blah"}, {"", "blah, blah."}, {"V-1", "blah blah."},
        {"TWR", "\u2026blah?"},     {"V-1", "blaaah."},
    };
    const Said right[] = {
        {"V-1", "blah blah blah"},  {"", "blah-blah."},      {"TWR", "blah!"},
        {"V-1", "blah blah, blah"}, {"", "blah blah."},      {"TWR", "blah?"},
        {"V-1", "blah. blah."},     {"TWR", "roger. blah."},
    };
    auto transcript = [&](const Said *lines, int count, float x) {
        for (int i = 0; i < count; i++) {
            float y = 74 + i * 21;
            Colour who = lines[i].who[0] == 'T' ? cyan : pink;
            c.paint(line(c, face, lines[i].who, mono, x, y, -1), who, 0.9f);
            Mask said = line(c, face, lines[i].what, mono, x + 5 * cell, y, -1);
            c.glow(said.blurred(3), amber, 0.25f);
            c.paint(said, amber, 0.9f);
        }
    };
    transcript(left, 8, 26);
    transcript(right, 8, 640 - 26 - 20 * cell);

    Style caps{12, 3, 0, true};
    c.paint(line(c, face, "CH 121.5  \u00b7  OPEN MIC", caps, 26, 36, -1), paper, 0.55f);
    Mask dot = Mask::shape(c.width(), c.height(),
                           [&](float x, float y) { return sd_circle(x, y, 570, 31.5f, 4.5f); });
    c.glow(dot.blurred(5), rgb(0xff3040), 0.8f);
    c.paint(dot, rgb(0xff3848));
    c.paint(line(c, face, "REC", caps, 614, 36, 1), paper, 0.55f);

    Style say{26, 0, 0.18f};
    Mask quote = line(c, fonts.serif_bold(), "blah, blah, blah.", say, cx, 286);
    c.paint(quote.blurred(5).shifted(0, 3), ink, 0.8f);
    c.paint(quote, paper);

    grain(c, 0.03f, 13);
    fade_edges(c, 8, 8, 0, 0);
    return c;
}

namespace {

// The waving hand, in its own units: the palm's centre at the origin, y down.
struct Hand {
    struct Finger {
        float x, length, radius, angle;
    };
    // Index to little finger; angles lean outwards from the middle finger.
    const Finger fingers[4] = {{-38, 80, 13.0f, -0.17f},
                               {-12.5f, 92, 13.5f, -0.05f},
                               {13, 86, 13.0f, 0.07f},
                               {37, 66, 11.5f, 0.21f}};
    float finger(int i, float x, float y) const {
        const Finger &f = fingers[i];
        float bx = f.x, by = -22;
        return sd_capsule(x, y, bx, by, bx + std::sin(f.angle) * f.length,
                          by - std::cos(f.angle) * f.length, f.radius);
    }
    float palm(float x, float y) const { return sd_round_box(x, y, 0, 18, 52, 58, 28); }
    float thumb(float x, float y) const { return sd_capsule(x, y, -40, 34, -96, -8, 15.5f); }
    float body(float x, float y) const {
        float d = palm(x, y);
        for (int i = 0; i < 4; i++)
            d = smooth_union(d, finger(i, x, y), 7);
        d = smooth_union(d, thumb(x, y), 10);
        // The wrist, narrowing into the cuff.
        return smooth_union(d, sd_round_box(x, y, 0, 92, 36, 24, 10), 12);
    }
    float cuff(float x, float y) const { return sd_round_box(x, y, 0, 118, 46, 20, 8); }
};

} // namespace

// A hand waving hello, before the greetings. The show puts this card at row
// 150, lower than the others (row 100), so it is a short banner: 200 rows,
// down to row 349, with its middle at row 250 like the other centred cards'.
Canvas picture_hand(Fonts &fonts) {
    Canvas c(640, 200, ink);
    const float k = 0.62f;          // the badge and hand against their first, larger drawing
    const float bx = 176, by = 100; // the badge's centre
    c.each([&](float x, float y, Colour &px) {
        float r = std::hypot(x - bx, y - by);
        px = mix(rgb(0x1c1028), ink, smoothstep(60, 260, r));
    });

    // A badge of warm rays behind the hand.
    const float badge_r = 138 * k;
    Mask badge = Mask::shape(c.width(), c.height(),
                             [&](float x, float y) { return sd_circle(x, y, bx, by, badge_r); });
    c.glow(badge.blurred(12), rgb(0xff5a5a), 0.35f);
    c.paint(badge, [&](float x, float y) {
        float t = ((x - bx) * 0.5f + (y - by) * 0.85f) / badge_r * 0.5f + 0.5f;
        Colour base =
            gradient({{0.0f, rgb(0xff9a5a)}, {0.55f, rgb(0xf0506e)}, {1.0f, rgb(0xa8326e)}}, t);
        float a = std::atan2(y - by, x - bx) / (2 * pi) * 24;
        float ray = std::fabs(a - std::round(a)) < 0.25f ? 1.0f : 0.0f;
        float r = std::hypot(x - bx, y - by) / badge_r;
        return base * (1 + 0.08f * ray * smoothstep(0.15f, 0.6f, r));
    });
    Mask rim = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        return std::fabs(sd_circle(x, y, bx, by, badge_r - 6)) - 0.7f;
    });
    c.paint(rim, paper, 0.45f);

    // Place the hand: tilted, its palm a little below the badge's centre.
    const Hand hand;
    const float tilt = -0.26f, scale = 0.86f * k, hx = bx + 6 * k, hy = by + 4 * k;
    const float ct = std::cos(tilt), st = std::sin(tilt);
    auto local = [&](float x, float y, float &u, float &v) {
        float dx = (x - hx) / scale, dy = (y - hy) / scale;
        u = dx * ct + dy * st;
        v = -dx * st + dy * ct;
    };
    auto field = [&](auto f) {
        return [&, f](float x, float y) {
            float u, v;
            local(x, y, u, v);
            return f(u, v) * scale;
        };
    };
    auto body = field([&](float u, float v) { return hand.body(u, v); });
    auto cuff = field([&](float u, float v) { return hand.cuff(u, v); });

    // Motion arcs on both sides of the fingers, about the wrist.
    float pu = 0, pv = 100; // the wrist, in hand units
    float px = hx + (pu * ct - pv * st) * scale, py = hy + (pu * st + pv * ct) * scale;
    Mask arcs = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        float d = 99;
        float r = std::hypot(x - px, y - py);
        float a = std::atan2(y - py, x - px) + pi / 2 - tilt; // 0: straight up the hand
        for (int i = 0; i < 3; i++) {
            float radius = (172 + i * 14) * k;
            float reach = 0.2f - i * 0.04f;
            for (int side = -1; side <= 1; side += 2) {
                float centre = side * (0.62f + i * 0.02f);
                float da = std::fabs(a - centre) - reach;
                float along = std::max(da, 0.0f) * radius;
                d = std::min(d, std::hypot(along, r - radius) - 1.6f);
            }
        }
        return d;
    });
    c.paint(arcs.blurred(2).shifted(0, 2), ink, 0.4f);
    c.paint(arcs, paper, 0.9f);

    // Drop shadow, then the hand with its shading and outline.
    Mask shape = Mask::shape(c.width(), c.height(), body);
    Mask sleeve = Mask::shape(c.width(), c.height(), cuff);
    Mask both = shape;
    both.unite(sleeve);
    c.paint(both.blurred(5).shifted(5, 6), rgb(0x40102a), 0.55f);

    const Colour skin = rgb(0xffc94a), skin_shadow = rgb(0xe0782a), skin_light = rgb(0xfff0b8);
    const Colour line_ink = rgb(0x2a1208);
    c.paint(shape, [&](float x, float y) {
        float d = body(x, y);
        float gx = body(x + 1, y) - body(x - 1, y), gy = body(x, y + 1) - body(x, y - 1);
        float n = std::hypot(gx, gy) + 1e-6f;
        float facing = (gx * 0.55f + gy * 0.83f) / n; // towards the lower right
        float rim = smoothstep(-10, 0, d);
        Colour col = mix(skin, skin_shadow, rim * clamp01(facing) * 0.85f);
        return mix(col, skin_light, rim * clamp01(-facing) * 0.7f);
    });
    // Lines: the outline, the gaps between the fingers, the palm's creases.
    Mask lines = Mask::shape(c.width(), c.height(), [&](float x, float y) {
        float u, v;
        local(x, y, u, v);
        float d = std::fabs(body(x, y)) - 1.7f;
        float inside = body(x, y);
        for (int i = 0; i < 4; i++) {
            // A finger's own edge, where it runs inside the hand above the palm.
            float f = std::fabs(hand.finger(i, u, v) * scale) - 1.1f;
            if (inside < -1 && hand.palm(u, v) > 4 && v < -18)
                d = std::min(d, f);
        }
        // The thumb's edge across the palm, fading out towards the middle.
        float t = std::fabs(hand.thumb(u, v) * scale) - 1.1f;
        if (inside < -1 && u > -70 && u < -44 && v > -10 && v < 30)
            d = std::min(d, t + smoothstep(0, 30, v) * 2);
        // Two creases.
        float heart = std::fabs((std::hypot(u - 10, v - 95) - 95) * scale) - 0.9f;
        if (u > -20 && u < 42 && v < 20)
            d = std::min(d, heart + smoothstep(20, 44, u) * 2);
        float life = std::fabs((std::hypot(u + 62, v - 66) - 52) * scale) - 0.9f;
        if (u > -30 && v > -2 && v < 64)
            d = std::min(d, life + smoothstep(40, 66, v) * 2);
        return d;
    });
    lines.multiply(
        Mask::shape(c.width(), c.height(), [&](float x, float y) { return body(x, y) - 2; }));
    c.paint(sleeve, [&](float, float y) {
        return mix(rgb(0x6fd6ff), rgb(0x2a7ad0), clamp01((y - by) / 75));
    });
    Mask cuff_lines = Mask::shape(c.width(), c.height(),
                                  [&](float x, float y) { return std::fabs(cuff(x, y)) - 1.7f; });
    lines.unite(cuff_lines);
    c.paint(lines, line_ink);

    // The greeting beside it.
    const float tx = 318;
    Style big{62, -1};
    Mask hello = line(c, fonts.sans_bold(), "hello,", big, tx, 98, -1);
    c.paint(hello.blurred(5).shifted(0, 4), ink, 0.8f);
    c.paint(hello, paper);
    Style soft{27, 0, 0.18f};
    c.paint(line(c, fonts.serif(), "all of you.", soft, tx + 4, 136, -1), rgb(0xff9a5a));
    Style small{12, 2, 0, true};
    c.paint(line(c, fonts.mono(), "A WAVE FROM VORBO", small, tx + 6, 164, -1), paper, 0.5f);

    grain(c, 0.03f, 17);
    fade_edges(c, 24, 24, 40, 40);
    return c;
}

// The greetings: invented friends listed under a copper-barred title, among stars.
Canvas picture_greet(Fonts &fonts) {
    Canvas c(640, 480, ink);
    c.each([&](float x, float y, Colour &px) {
        px = mix(rgb(0x0c1030), rgb(0x040509), smoothstep(0, 480, y));
        float cloud = fbm(x / 160, y / 110, 61, 5);
        float tint = fbm(x / 240 + 7, y / 240, 67, 3);
        Colour nebula = mix(rgb(0x5a1a6a), rgb(0x0f4a6a), smoothstep(0.35f, 0.65f, tint));
        px = px + nebula * (0.55f * smoothstep(0.45f, 0.8f, cloud));
        float star = hash(int(x), int(y), 71);
        if (star > 0.997f)
            px = px + paper * ((star - 0.997f) / 0.003f * 0.9f);
    });
    // A few bright stars with soft glints.
    Mask glints(c.width(), c.height());
    for (int i = 0, placed = 0; placed < 12 && i < 200; i++) {
        float sx = 20 + hash(i, 0, 73) * 600, sy = 10 + hash(i, 1, 73) * 460;
        bool on_text = (sy > 30 && sy < 160 && sx > 50 && sx < 590) ||
                       (sy > 165 && sy < 470 && sx > 50 && sx < 590);
        if (on_text)
            continue;
        placed++;
        float size = 0.6f + hash(i, 2, 73) * 0.8f;
        glints.unite(Mask::field(c.width(), c.height(), [&](float x, float y) {
            float dx = std::fabs(x - sx), dy = std::fabs(y - sy);
            float core = std::exp(-(dx * dx + dy * dy) / (2 * size * size));
            float cross = std::exp(-dy * 2) * std::exp(-dx / (6 * size)) +
                          std::exp(-dx * 2) * std::exp(-dy / (6 * size));
            return core + 0.5f * cross;
        }));
    }
    c.glow(glints, rgb(0xdfe8ff), 0.9f);

    // The title in copper bars.
    Style title{68, 4};
    Face &bold = fonts.sans_bold();
    const float base = 104, cap = bold.cap_height(title);
    Mask word = line(c, bold, "GREETINGS", title, 320, base);
    Mask edge = word.blurred(2);
    edge.scale(4);
    c.paint(edge.blurred(10).shifted(0, 8), ink, 0.8f);
    c.glow(edge.blurred(14), rgb(0xff5fa2), 0.35f);
    c.paint(edge, rgb(0x120a20));
    c.paint(word, [&](float, float y) {
        float t = (y - (base - cap)) / cap;
        // Bars of a bright middle and dark rims, one every twelfth of the height.
        float bar = std::fmod(t * 6 + 6, 1.0f);
        float shine = 1 - std::fabs(bar - 0.5f) * 1.6f;
        Colour hue = gradient({{0.0f, rgb(0xffe08a)},
                               {0.35f, rgb(0xff8a3c)},
                               {0.65f, rgb(0xff4f9a)},
                               {1.0f, rgb(0x8a5cff)}},
                              t);
        return mix(hue * 0.45f, mix(hue, paper, 0.25f), shine);
    });
    // A divider that glows out of nothing in the middle.
    Mask rule = Mask::field(c.width(), c.height(), [&](float x, float y) {
        return (1 - std::fabs(y - 124)) * (1 - smoothstep(40, 250, std::fabs(x - 320)));
    });
    c.paint(rule, [](float x, float) {
        return gradient({{0.0f, cyan}, {0.5f, pink}, {1.0f, amber}}, (x - 70) / 500);
    });
    Style caps{13, 4, 0, true};
    c.paint(line(c, fonts.mono(), "VORBO WAVES TO", caps, 320, 152), paper, 0.6f);

    const char *friends[16] = {
        "Nullpointer Collective", "The Sinewave Society", "Raster Kids of Tuesday",
        "Polygon Kitchen",        "Quiet Modem Club",     "Byte Orchard",
        "Fixed Point Ensemble",   "Half-Pixel Heroes",    "The Aliasing Choir",
        "Dither & Daughters",     "Scanline Saints",      "Copper Moths",
        "Team Overdraw",          "Blitter Ghosts",       "Cosine Cartel",
        "Gouraud Gardeners",
    };
    const Colour accents[3] = {pink, amber, cyan};
    Style name{18, 0.3f};
    for (int i = 0; i < 16; i++) {
        float x = i < 8 ? 78 : 362, y = 196 + (i % 8) * 28;
        Colour accent = accents[i % 3];
        Mask diamond = Mask::shape(c.width(), c.height(), [&](float px, float py) {
            return (std::fabs(px - (x - 16)) + std::fabs(py - (y - 6.5f))) * 0.7071f - 3.6f;
        });
        c.glow(diamond.blurred(3), accent, 0.6f);
        c.paint(diamond, accent);
        Mask label = line(c, fonts.sans(), friends[i], name, x, y, -1);
        c.paint(label.blurred(3).shifted(0, 2), ink, 0.8f);
        c.paint(label, paper, 0.92f);
    }

    Style coda{21, 0, 0.18f};
    c.paint(line(c, fonts.serif(), "\u2026 and everyone who still moves pixels by hand.", coda, 320,
                 428),
            rgb(0xffb8d6));
    Style small{11, 2, 0, true};
    c.paint(line(c, fonts.mono(),
                 "VORBO RETURNS  \u00b7  FIFTY-NINE SECONDS  \u00b7  ALL IN SOFTWARE", small, 320,
                 458),
            paper, 0.4f);

    grain(c, 0.025f, 19);
    return c;
}

} // namespace tgagen
