// Composes the soundtrack to the show's scenes: chord progressions, drum grooves, bass lines,
// arpeggios, melodies, radio chatter, noise effects and a closing cadence.
#include "tools/xmgen/song.h"

#include "tools/xmgen/synth.h"

#include <cstdint>
#include <vector>

namespace xmgen {

namespace {

enum Channel {
    ch_kick,
    ch_snare,
    ch_hats,
    ch_crash,
    ch_bass,
    ch_arp,
    ch_lead,
    ch_echo,
    ch_pad, // three channels: one per chord tone
    ch_bell = ch_pad + 3,
    ch_fx,
    channel_count
};

// Instrument numbers as the pattern cells name them (1-based).
enum Instrument {
    in_kick = 1,
    in_snare,
    in_closed_hat,
    in_open_hat,
    in_crash,
    in_bass,
    in_arp_soft,
    in_arp,
    in_lead,
    in_pad,
    in_bell,
    in_riser,
    in_flyby
};

constexpr std::uint8_t effect_panning = 0x8;
constexpr std::uint8_t effect_extended = 0xE; // with param 0xCx: cut the note at tick x

// The mixing desk: every volume a part asks for is scaled by its channel's
// gain here (and held at 64), which sets the balance and the loudness of the
// whole mix in one place.
double channel_gain(int channel) {
    static const double gain[channel_count] = {1.0, 1.1, 1.35, 1.1, 1.0,  1.5, 1.1,
                                               1.5, 1.5, 1.5,  1.5, 1.45, 1.0};
    return gain[channel];
}

// One bar's harmony as each part plays it. The arpeggio holds `arp_root`
// and adds the two semitone steps of `arp` (the effect's x and y), so every
// chord is voiced close to A-4.
struct Chord {
    const char *bass;
    const char *arp_root;
    std::uint8_t arp;
    const char *pad[3];
    const char *bell[3];
};

const Chord Am{"A-2", "A-4", 0x37, {"A-3", "C-4", "E-4"}, {"A-5", "C-6", "E-6"}};
const Chord F{"F-2", "A-4", 0x38, {"A-3", "C-4", "F-4"}, {"F-5", "A-5", "C-6"}};
const Chord C{"C-3", "G-4", 0x59, {"G-3", "C-4", "E-4"}, {"G-5", "C-6", "E-6"}};
const Chord G{"G-2", "G-4", 0x47, {"G-3", "B-3", "D-4"}, {"G-5", "B-5", "D-6"}};
const Chord Dm{"D-3", "A-4", 0x58, {"A-3", "D-4", "F-4"}, {"A-5", "D-6", "F-6"}};
const Chord E{"E-2", "G#4", 0x38, {"G#3", "B-3", "E-4"}, {"G#5", "B-5", "E-6"}};

// A bar: its chord and its length in rows (16 for four beats, 8 for two, so
// that a section can end on any whole second).
struct Bar {
    const Chord *chord;
    int rows;
};

// A melody note: its name (null for a rest) and its length in rows.
struct Note {
    const char *name;
    int rows;
};

using Melody = std::vector<Note>;

// Over Am F, then a half bar of G: the title's call, answered in the cube's section.
const Melody title_call = {{"E-5", 4}, {"A-4", 2}, {"C-5", 2}, {"E-5", 4}, {"D-5", 2},
                           {"C-5", 2}, {"B-4", 4}, {"G#4", 2}, {"B-4", 2}};
// Over Am F G (40 rows).
const Melody theme = {{"C-5", 6}, {"A-4", 2}, {"E-5", 4}, {"G-5", 4}, {"F-5", 4}, {"E-5", 2},
                      {"C-5", 2}, {"A-4", 4}, {"C-5", 4}, {"D-5", 4}, {"B-4", 2}, {"G-4", 2}};
// Over Dm Am F E (56 rows).
const Melody bridge = {{"F-5", 4}, {"E-5", 2}, {"D-5", 2}, {"A-4", 4}, {"D-5", 2}, {"F-5", 2},
                       {"E-5", 8}, {"C-5", 4}, {"A-4", 4}, {"A-4", 2}, {"C-5", 2}, {"F-5", 4},
                       {"E-5", 2}, {"F-5", 2}, {"A-5", 4}, {"G#5", 4}, {"B-4", 4}};
// Over Am F C G (56 rows), an octave reach higher.
const Melody theme_high = {{"A-5", 4}, {"G-5", 2}, {"E-5", 2}, {"C-5", 4}, {"E-5", 2},
                           {"G-5", 2}, {"A-5", 6}, {"G-5", 2}, {"F-5", 2}, {"E-5", 2},
                           {"C-5", 4}, {"E-5", 2}, {"G-5", 2}, {"C-6", 4}, {"B-5", 2},
                           {"G-5", 2}, {"E-5", 4}, {"D-5", 4}, {"B-4", 4}};
// Over Am F C G E (80 rows): the jet's tune, climbing to the dominant.
const Melody flight = {{"E-5", 2}, {"A-5", 4}, {"B-5", 2}, {"C-6", 4}, {"B-5", 2}, {"A-5", 2},
                       {"F-5", 4}, {"A-5", 2}, {"C-6", 2}, {"F-6", 4}, {"E-6", 2}, {"C-6", 2},
                       {"E-6", 6}, {"D-6", 2}, {"C-6", 4}, {"G-5", 4}, {"D-6", 4}, {"B-5", 2},
                       {"G-5", 2}, {"D-6", 4}, {"C-6", 2}, {"B-5", 2}, {"E-6", 4}, {"B-5", 4},
                       {"G#5", 4}, {"B-5", 4}};
// Over F C G (40 rows): "hel-lo", answered lower.
const Melody hello = {{"C-6", 3}, {"A-5", 5},   {nullptr, 4}, {"F-5", 2}, {"A-5", 2}, {"G-5", 3},
                      {"E-5", 5}, {nullptr, 4}, {"C-5", 2},   {"E-5", 2}, {"D-5", 4}, {"B-4", 4}};
// Over Am F C Dm E Am (80 rows): the theme once more, the cadence, the last tonic.
const Melody ending = {{"E-5", 4}, {"A-4", 2}, {"C-5", 2}, {"E-5", 4}, {"D-5", 2}, {"C-5", 2},
                       {"C-5", 6}, {"A-4", 2}, {"F-4", 4}, {"A-4", 2}, {"C-5", 2}, {"E-5", 4},
                       {"G-5", 4}, {"E-5", 4}, {"C-5", 4}, {"F-5", 4}, {"D-5", 4}, {"B-4", 6},
                       {"C-5", 2}, {"D-5", 4}, {"G#4", 4}, {"A-4", 8}};

class Score {
  public:
    explicit Score(int rows) : pattern(rows, channel_count) {}
    xm::Pattern pattern;

    void put(int row, int channel, std::uint8_t note, int instrument, int volume,
             std::uint8_t effect = 0, std::uint8_t param = 0) {
        if (row < 0 || row >= pattern.rows)
            return;
        xm::Cell &c = pattern.at(row, channel, channel_count);
        c.note = note;
        c.instrument = note == xm::key_off ? 0 : std::uint8_t(instrument);
        c.vol = note == xm::key_off ? 0 : xm::set_volume(int(volume * channel_gain(channel) + 0.5));
        c.effect = effect;
        c.param = param;
    }
    void effect(int row, int channel, std::uint8_t effect, std::uint8_t param) {
        if (row < 0 || row >= pattern.rows)
            return;
        xm::Cell &c = pattern.at(row, channel, channel_count);
        c.effect = effect;
        c.param = param;
    }
    // A breath before the next section: on the last row every part but the
    // kick and the crash stops three ticks in, so that the section's first
    // row enters on a moment's hush and the turn is heard as one.
    void breath() {
        const int last = pattern.rows - 1;
        for (int ch = 0; ch < channel_count; ++ch) {
            if (ch == ch_kick || ch == ch_crash)
                continue;
            xm::Cell &c = pattern.at(last, ch, channel_count);
            c.note = xm::no_note;
            c.instrument = 0;
            c.vol = 0;
            c.effect = effect_extended;
            c.param = 0xC3;
        }
    }
    // Every channel's sound dies away over rows first..rows-1: the volume
    // column slides it down on rows that strike no note.
    void fade_out(int first, int per_tick) {
        for (int row = first; row < pattern.rows; ++row)
            for (int ch = 0; ch < channel_count; ++ch) {
                xm::Cell &c = pattern.at(row, ch, channel_count);
                if (!c.note)
                    c.vol = xm::volume_slide_down(per_tick);
            }
    }
};

std::uint8_t up(const char *name, int semitones) {
    return std::uint8_t(xm::note(name) + semitones);
}

// Drums, one bar at a time: r is the bar's first row, n its length in rows.

void kick_four(Score &s, int r, int n, int volume = 58) {
    for (int k = 0; k < n; k += 4)
        s.put(r + k, ch_kick, xm::note("C-4"), in_kick, volume);
}

// On the one and on the "and" of three: a half-time feel.
void kick_half(Score &s, int r, int n, int volume = 58) {
    s.put(r, ch_kick, xm::note("C-4"), in_kick, volume);
    if (n > 10)
        s.put(r + 10, ch_kick, xm::note("C-4"), in_kick, volume - 8);
}

void snare_backbeat(Score &s, int r, int n, int volume = 48) {
    for (int k = 4; k < n; k += 8)
        s.put(r + k, ch_snare, xm::note("C-4"), in_snare, volume);
}

void snare_half(Score &s, int r, int n, int volume = 48) {
    s.put(r + (n > 8 ? 8 : 4), ch_snare, xm::note("C-4"), in_snare, volume);
}

// A bar that ends in a run of snares into the next section.
void snare_fill(Score &s, int r, int n) {
    static const int back[] = {6, 4, 3, 2, 1};
    static const int vols[] = {32, 42, 36, 46, 54};
    if (n > 8)
        s.put(r + 4, ch_snare, xm::note("C-4"), in_snare, 46);
    for (int i = 0; i < 5; ++i)
        s.put(r + n - back[i], ch_snare, xm::note("C-4"), in_snare, vols[i]);
}

// Sixteenth snares over the whole bar, rising in pitch and loudness.
void snare_roll(Score &s, int r, int n, int from = 18, int to = 58) {
    for (int k = 0; k < n; ++k) {
        const char *pitch = k < n / 2 ? "C-4" : k < 3 * n / 4 ? "D-4" : "E-4";
        s.put(r + k, ch_snare, xm::note(pitch), in_snare, from + (to - from) * k / (n - 1));
    }
}

void hats(Score &s, int r, int n, bool sixteenths, int volume, bool open_last = true) {
    for (int k = 0; k < n; k += sixteenths ? 1 : 2) {
        int v = k % 4 == 2 ? volume + 8 : k % 2 ? volume - 6 : volume;
        if (open_last && k == n - 2)
            s.put(r + k, ch_hats, xm::note("C-4"), in_open_hat, volume + 4);
        else
            s.put(r + k, ch_hats, xm::note("C-4"), in_closed_hat, v);
    }
}

void crash(Score &s, int row, int volume = 40) {
    s.put(row, ch_crash, xm::note("C-4"), in_crash, volume);
}

void fx(Score &s, int row, int instrument, int volume) {
    s.put(row, ch_fx, xm::note("C-4"), instrument, volume);
}

// Bass lines.

void bass_octaves(Score &s, int r, int n, const Chord &c, int volume = 56) {
    for (int k = 0; k < n; k += 2)
        s.put(r + k, ch_bass, up(c.bass, k % 4 ? 12 : 0), in_bass, k % 4 ? volume - 8 : volume);
}

void bass_held(Score &s, int r, int n, const Chord &c, int volume = 54) {
    for (int k = 0; k < n; k += 8)
        s.put(r + k, ch_bass, xm::note(c.bass), in_bass, k ? volume - 8 : volume);
}

void bass_syncopated(Score &s, int r, int n, const Chord &c, int volume = 56) {
    static const int rows[] = {0, 6, 10, 14};
    static const int drop[] = {0, 8, 4, 12};
    for (int i = 0; i < 4 && rows[i] < n; ++i)
        s.put(r + rows[i], ch_bass, up(c.bass, i == 3 ? 12 : 0), in_bass, volume - drop[i]);
}

// Chord parts.

// The chord as a tracker arpeggio: the effect runs on every row, a note
// retriggers the pluck every `step` rows with an accent on the beat.
void arpeggio(Score &s, int r, int n, const Chord &c, int instrument, int step, int volume) {
    for (int k = 0; k < n; ++k) {
        if (k % step == 0)
            s.put(r + k, ch_arp, xm::note(c.arp_root), instrument, k % 4 ? volume - 8 : volume, 0,
                  c.arp);
        else
            s.effect(r + k, ch_arp, 0, c.arp);
    }
}

void pad(Score &s, int r, const Chord &c, int volume) {
    static const std::uint8_t pans[] = {0x50, 0x80, 0xb0};
    for (int i = 0; i < 3; ++i)
        s.put(r, ch_pad + i, xm::note(c.pad[i]), in_pad, volume, effect_panning, pans[i]);
}

// Chord tones up and down in eighths, high above the rest.
void bell_figure(Score &s, int r, int n, const Chord &c, int volume) {
    static const int tone[] = {0, 1, 2, 3, 2, 1, 0, 1};
    for (int k = 0; k < n; k += 2) {
        int t = tone[k / 2 % 8];
        std::uint8_t note = t == 3 ? up(c.bell[0], 12) : xm::note(c.bell[t]);
        s.put(r + k, ch_bell, note, in_bell, k % 4 ? volume - 6 : volume);
    }
}

// Radio chatter: short high plucks in the rhythm of speech, tower on the lead
// channel, pilot answering on the echo channel across the stereo field.
void chatter(Score &s, int r, int n, const Chord &c, int volume) {
    static const char rhythm[] = "x.xx.x..x.x.xx..";
    static const char answer[] = "..x...xx.x...x.x";
    for (int k = 0; k < n; ++k) {
        if (rhythm[k % 16] == 'x')
            s.put(r + k, ch_lead, up(c.bell[k % 3], -12), in_arp, volume, effect_panning, 0x48);
        if (answer[k % 16] == 'x')
            s.put(r + k, ch_echo, up(c.bell[(k + 1) % 3], -12), in_arp, volume - 6, effect_panning,
                  0xb8);
    }
}

// The melody on the lead channel from row r; with `echo`, a quieter copy
// three rows later on the far side of the stereo field.
void melody(Score &s, int r, const Melody &m, int volume, bool echo) {
    for (const Note &n : m) {
        std::uint8_t note = n.name ? xm::note(n.name) : xm::key_off;
        s.put(r, ch_lead, note, in_lead, volume);
        if (echo)
            s.put(r + 3, ch_echo, note, in_lead, volume * 2 / 5, effect_panning, 0xc8);
        r += n.rows;
    }
}

int length(const std::vector<Bar> &bars) {
    int rows = 0;
    for (const Bar &b : bars)
        rows += b.rows;
    return rows;
}

// 0-6 s, the opening card: a pad and a bell out of nothing, the pluck and the
// bass joining, and noise rising into the title.
xm::Pattern prologue() {
    const std::vector<Bar> bars = {{&Am, 16}, {&F, 16}, {&G, 16}};
    Score s(length(bars));
    for (int i = 0, r = 0; i < 3; r += bars[i++].rows) {
        const Chord &c = *bars[i].chord;
        pad(s, r, c, 24 + 6 * i);
        bell_figure(s, r, 16, c, 30 + 4 * i);
        if (i >= 1)
            arpeggio(s, r, 16, c, in_arp_soft, 2, 30 + 4 * i);
        if (i == 2) {
            bass_held(s, r, 16, c, 46);
            hats(s, r, 16, false, 22, false);
        }
    }
    fx(s, 32, in_riser, 44);
    s.breath();
    return s.pattern;
}

// 6-9 s, the title: a full chord and the call, then half a bar of the dominant
// that builds into the cube.
xm::Pattern title() {
    Score s(24);
    crash(s, 0, 46);
    pad(s, 0, Am, 34);
    s.put(0, ch_kick, xm::note("C-4"), in_kick, 62);
    s.put(8, ch_kick, xm::note("C-4"), in_kick, 54);
    bass_held(s, 0, 16, Am, 58);
    arpeggio(s, 0, 16, Am, in_arp, 2, 34);
    bell_figure(s, 0, 16, Am, 28);
    melody(s, 0, title_call, 56, true);
    // The build: the dominant under a snare roll, sixteenth plucks and rising noise.
    pad(s, 16, E, 30);
    bass_octaves(s, 16, 8, E, 54);
    arpeggio(s, 16, 8, E, in_arp, 1, 30);
    kick_four(s, 16, 8, 58);
    snare_roll(s, 12, 12, 20, 60);
    fx(s, 8, in_riser, 48);
    s.breath();
    return s.pattern;
}

// The full groove: four on the floor, backbeat, sixteenth hats, octave bass.
void groove(Score &s, int r, const Bar &b, int arp_step, bool bells) {
    const Chord &c = *b.chord;
    pad(s, r, c, 20);
    arpeggio(s, r, b.rows, c, in_arp, arp_step, arp_step == 1 ? 30 : 34);
    bass_octaves(s, r, b.rows, c);
    kick_four(s, r, b.rows);
    hats(s, r, b.rows, true, 32);
    if (bells)
        bell_figure(s, r, b.rows, c, 28);
}

// 9-14 s, the green cube alone: the groove and the theme, a fill into the picture.
xm::Pattern cube() {
    const std::vector<Bar> bars = {{&Am, 16}, {&F, 16}, {&G, 8}};
    Score s(length(bars));
    crash(s, 0, 44);
    for (int i = 0, r = 0; i < 3; r += bars[i++].rows) {
        groove(s, r, bars[i], 2, false);
        if (i < 2)
            snare_backbeat(s, r, bars[i].rows);
        else
            snare_fill(s, r, bars[i].rows);
    }
    melody(s, 0, theme, 56, false);
    s.breath();
    return s.pattern;
}

// 14-21 s, the picture alone: a calm half-time bridge.
xm::Pattern bridge_part() {
    const std::vector<Bar> bars = {{&Dm, 16}, {&Am, 16}, {&F, 16}, {&E, 8}};
    Score s(length(bars));
    crash(s, 0, 32);
    for (int i = 0, r = 0; i < 4; r += bars[i++].rows) {
        const Chord &c = *bars[i].chord;
        int n = bars[i].rows;
        pad(s, r, c, 30);
        arpeggio(s, r, n, c, in_arp_soft, 2, 32);
        bell_figure(s, r, n, c, 28);
        bass_syncopated(s, r, n, c);
        kick_half(s, r, n);
        if (i < 3)
            snare_half(s, r, n);
        else
            snare_fill(s, r, n);
        hats(s, r, n, false, 28, false);
    }
    melody(s, 0, bridge, 54, false);
    s.breath();
    return s.pattern;
}

// 21-28 s, the pink cube over the picture: the groove back, the theme higher,
// sixteenth plucks and bells, a roll into the radio card.
xm::Pattern verse() {
    const std::vector<Bar> bars = {{&Am, 16}, {&F, 16}, {&C, 16}, {&G, 8}};
    Score s(length(bars));
    crash(s, 0, 46);
    for (int i = 0, r = 0; i < 4; r += bars[i++].rows) {
        groove(s, r, bars[i], 1, true);
        if (i < 3)
            snare_backbeat(s, r, bars[i].rows);
        else
            snare_roll(s, r, bars[i].rows, 24, 56);
    }
    melody(s, 0, theme_high, 56, true);
    s.breath();
    return s.pattern;
}

// 28-34 s, the radio card: chatter over a syncopated bass, then the dominant
// with a roll and rising noise into the jet.
xm::Pattern radio() {
    const std::vector<Bar> bars = {{&Dm, 16}, {&F, 16}, {&E, 16}};
    Score s(length(bars));
    s.put(0, ch_kick, xm::note("C-4"), in_kick, 62);
    for (int i = 0, r = 0; i < 3; r += bars[i++].rows) {
        const Chord &c = *bars[i].chord;
        pad(s, r, c, 26);
        bass_syncopated(s, r, 16, c, 58);
        hats(s, r, 16, true, 26);
        bell_figure(s, r, 16, c, 20);
        if (i < 2) {
            chatter(s, r, 16, c, 40);
            kick_half(s, r, 16);
            snare_half(s, r, 16, 44);
        } else {
            arpeggio(s, r, 16, c, in_arp, 1, 30);
            kick_four(s, r, 16);
            snare_roll(s, r, 16);
        }
    }
    fx(s, 32, in_riser, 54);
    s.breath();
    return s.pattern;
}

// 34-44 s, the jet: a fly-by at its entrance and as it circles, the full groove
// with bells, the flight tune climbing to the dominant.
xm::Pattern flight_part() {
    const std::vector<Bar> bars = {{&Am, 16}, {&F, 16}, {&C, 16}, {&G, 16}, {&E, 16}};
    Score s(length(bars));
    crash(s, 0, 50);
    fx(s, 0, in_flyby, 60);
    fx(s, 48, in_flyby, 42);
    for (int i = 0, r = 0; i < 5; r += bars[i++].rows) {
        groove(s, r, bars[i], 1, true);
        if (i < 4)
            snare_backbeat(s, r, 16, 50);
        else
            snare_fill(s, r, 16);
        if (i == 2)
            crash(s, r, 36);
    }
    melody(s, 0, flight, 58, true);
    s.breath();
    return s.pattern;
}

// 44-49 s, the waving hand: lighter drums, a greeting call on the lead, bells.
xm::Pattern wave() {
    const std::vector<Bar> bars = {{&F, 16}, {&C, 16}, {&G, 8}};
    Score s(length(bars));
    crash(s, 0, 40);
    for (int i = 0, r = 0; i < 3; r += bars[i++].rows) {
        const Chord &c = *bars[i].chord;
        int n = bars[i].rows;
        pad(s, r, c, 30);
        bass_held(s, r, n, c);
        bell_figure(s, r, n, c, 32);
        arpeggio(s, r, n, c, in_arp_soft, 2, 32);
        kick_half(s, r, n);
        hats(s, r, n, false, 30, false);
        if (i < 2)
            snare_backbeat(s, r, n, 40);
        else
            snare_fill(s, r, n);
    }
    melody(s, 0, hello, 54, true);
    s.breath();
    return s.pattern;
}

// 49-59 s, the greetings: the theme once more, the cadence, and the tonic at
// second 58, which has faded out before second 59.
xm::Pattern finale() {
    const std::vector<Bar> bars = {{&Am, 16}, {&F, 16}, {&C, 16}, {&Dm, 8}, {&E, 16}, {&Am, 8}};
    Score s(length(bars));
    crash(s, 0, 46);
    int r = 0;
    for (int i = 0; i < 3; r += bars[i++].rows) {
        groove(s, r, bars[i], 2, i == 2);
        snare_backbeat(s, r, 16);
    }
    // Dm, then E held under a roll: the cadence.
    pad(s, r, Dm, 30);
    bass_held(s, r, 8, Dm, 56);
    arpeggio(s, r, 8, Dm, in_arp, 2, 34);
    kick_half(s, r, 8);
    snare_half(s, r, 8);
    hats(s, r, 8, false, 30, false);
    r += 8;
    pad(s, r, E, 34);
    bass_octaves(s, r, 16, E, 54);
    arpeggio(s, r, 16, E, in_arp, 1, 32);
    kick_four(s, r, 16);
    snare_roll(s, r + 8, 8, 24, 58);
    bell_figure(s, r, 16, E, 26);
    r += 16;
    // The last chord, then everything slides away to nothing by the pattern's end.
    crash(s, r, 50);
    s.put(r, ch_kick, xm::note("C-4"), in_kick, 62);
    s.put(r, ch_bass, xm::note("A-2"), in_bass, 58);
    pad(s, r, Am, 40);
    s.put(r, ch_bell, xm::note("A-5"), in_bell, 34);
    melody(s, 0, ending, 56, true);
    s.fade_out(r + 4, 3);
    return s.pattern;
}

// After the show: every channel released, then silence.
xm::Pattern silence() {
    Score s(2 * rows_per_second);
    for (int ch = 0; ch < channel_count; ++ch)
        s.put(0, ch, xm::key_off, 0, 0);
    return s.pattern;
}

// libopenmpt, like FastTracker, plays a tick in a whole number of sample
// frames: at 44.1 kHz and 120 BPM 918 instead of 918.75, so the song would
// run 0.08 % fast and turn 40 ms early by second 49. A row here and there at
// 119 BPM (926 frames a tick) takes the lost frames back, so that every
// section begins on its second to within a millisecond at the rate the demo
// and the capture play at. The tempo commands go in the effects channel's
// effect column, which nothing else there uses, never on a section's last row.
constexpr int play_rate = 44100;
constexpr std::uint8_t effect_tempo = 0xF;

int frames_per_row(int rate, int speed, int tempo) {
    return speed * (rate * 5 / (2 * tempo));
}

void keep_time(xm::Module &m) {
    const int normal = frames_per_row(play_rate, m.speed, m.tempo);
    const int extra = frames_per_row(play_rate, m.speed, m.tempo - 1) - normal;
    long long played = 0, rows = 0;
    for (std::uint8_t o : m.orders) {
        xm::Pattern &p = m.patterns[o];
        rows += p.rows;
        const long long due = rows * play_rate / rows_per_second;
        const long long behind = due - played - (long long)p.rows * normal;
        const int slow = int((behind + extra / 2) / extra);
        for (int i = 0; i < slow; ++i) {
            int row = int((2LL * i + 1) * p.rows / (2LL * slow));
            xm::Cell &c = p.at(row, ch_fx, channel_count);
            c.effect = effect_tempo;
            c.param = std::uint8_t(m.tempo - 1);
            xm::Cell &next = p.at(row + 1, ch_fx, channel_count);
            next.effect = effect_tempo;
            next.param = std::uint8_t(m.tempo);
        }
        played += (long long)p.rows * normal + (long long)slow * extra;
    }
}

} // namespace

xm::Module song() {
    xm::Module m;
    m.name = "Vorbo returns";
    m.channels = channel_count;
    m.speed = 6;
    m.tempo = 120;
    m.instruments = {kick(),    snare(), closed_hat(), open_hat(), crash(), bass(), arp(false),
                     arp(true), lead(),  pad(),        bell(),     riser(), flyby()};

    m.patterns = {prologue(), title(),       cube(), bridge_part(), verse(),
                  radio(),    flight_part(), wave(), finale(),      silence()};
    for (std::size_t i = 0; i < m.patterns.size(); ++i)
        m.orders.push_back(std::uint8_t(i));
    m.restart = int(m.orders.size()) - 1;
    keep_time(m);
    return m;
}

std::vector<int> section_seconds() {
    const xm::Module m = song();
    std::vector<int> seconds = {0};
    int rows = 0;
    for (std::uint8_t o : m.orders) {
        rows += m.patterns[o].rows;
        seconds.push_back(rows / rows_per_second);
    }
    return seconds;
}

} // namespace xmgen
