// Composes the soundtrack: chord progressions, drum grooves, bass lines, arpeggios, melodies and
// their echo.
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
    in_bell
};

constexpr int rows_per_bar = 16;
constexpr std::uint8_t effect_panning = 0x8;

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

const Chord *const verse_chords[4] = {&Am, &F, &C, &G};
const Chord *const bridge_chords[4] = {&Dm, &Am, &F, &E};

// A melody note: its name (null for a rest) and its length in rows.
struct Note {
    const char *name;
    int rows;
};

using Melody = std::vector<Note>;

// Over Am F C G.
const Melody theme = {{"E-5", 4}, {"A-4", 2}, {"C-5", 2}, {"E-5", 2}, {"D-5", 2}, {"C-5", 2},
                      {"B-4", 2}, {"C-5", 6}, {"A-4", 2}, {"F-4", 4}, {"A-4", 2}, {"C-5", 2},
                      {"E-5", 4}, {"G-5", 4}, {"E-5", 2}, {"D-5", 2}, {"C-5", 4}, {"D-5", 6},
                      {"B-4", 2}, {"G-4", 4}, {"B-4", 2}, {"D-5", 2}};
// Over Am F C G, an octave reach higher.
const Melody theme_high = {{"A-5", 4}, {"G-5", 2}, {"E-5", 2}, {"C-5", 4}, {"E-5", 2}, {"G-5", 2},
                           {"A-5", 6}, {"G-5", 2}, {"F-5", 2}, {"E-5", 2}, {"C-5", 4}, {"E-5", 2},
                           {"G-5", 2}, {"C-6", 4}, {"B-5", 2}, {"G-5", 2}, {"E-5", 4}, {"D-5", 2},
                           {"E-5", 2}, {"G-5", 4}, {"B-5", 8}};
// Over Dm Am F E.
const Melody bridge = {{"F-5", 4}, {"E-5", 2}, {"D-5", 2}, {"A-4", 4}, {"D-5", 2}, {"F-5", 2},
                       {"E-5", 8}, {"C-5", 4}, {"A-4", 4}, {"A-4", 2}, {"C-5", 2}, {"F-5", 4},
                       {"E-5", 2}, {"F-5", 2}, {"A-5", 4}, {"G#5", 8}, {"E-5", 4}, {"B-4", 4}};
const Melody bridge_high = {{"A-5", 4}, {"F-5", 2}, {"D-5", 2}, {"F-5", 4}, {"A-5", 2},
                            {"D-6", 2}, {"C-6", 6}, {"B-5", 2}, {"A-5", 4}, {"E-5", 4},
                            {"F-5", 4}, {"A-5", 4}, {"C-6", 4}, {"A-5", 4}, {"B-5", 4},
                            {"G#5", 4}, {"E-5", 4}, {"G#5", 2}, {"B-5", 2}};
// Over Am F E Am: the theme's first half, a cadence, and a long tonic.
const Melody ending = {{"E-5", 4}, {"A-4", 2}, {"C-5", 2},  {"E-5", 2},  {"D-5", 2},
                       {"C-5", 2}, {"B-4", 2}, {"C-5", 6},  {"A-4", 2},  {"F-4", 4},
                       {"A-4", 2}, {"C-5", 2}, {"B-4", 6},  {"G#4", 2},  {"E-4", 4},
                       {"G#4", 2}, {"B-4", 2}, {"A-4", 12}, {nullptr, 4}};

class Score {
  public:
    xm::Pattern pattern{64, channel_count};

    void put(int row, int channel, std::uint8_t note, int instrument, int volume,
             std::uint8_t effect = 0, std::uint8_t param = 0) {
        if (row < 0 || row >= pattern.rows)
            return;
        xm::Cell &c = pattern.at(row, channel, channel_count);
        c.note = note;
        c.instrument = note == xm::key_off ? 0 : std::uint8_t(instrument);
        c.vol = note == xm::key_off ? 0 : xm::set_volume(volume);
        c.effect = effect;
        c.param = param;
    }
    void effect(int row, int channel, std::uint8_t effect, std::uint8_t param) {
        xm::Cell &c = pattern.at(row, channel, channel_count);
        c.effect = effect;
        c.param = param;
    }
};

std::uint8_t up(const char *name, int semitones) {
    return std::uint8_t(xm::note(name) + semitones);
}

// Drums, one bar at a time.

void kick_four(Score &s, int bar, int volume = 56) {
    for (int beat = 0; beat < 4; ++beat)
        s.put(bar * rows_per_bar + beat * 4, ch_kick, xm::note("C-4"), in_kick, volume);
}

void kick_half(Score &s, int bar) {
    s.put(bar * rows_per_bar, ch_kick, xm::note("C-4"), in_kick, 56);
    s.put(bar * rows_per_bar + 10, ch_kick, xm::note("C-4"), in_kick, 48);
}

void snare_backbeat(Score &s, int bar) {
    s.put(bar * rows_per_bar + 4, ch_snare, xm::note("C-4"), in_snare, 46);
    s.put(bar * rows_per_bar + 12, ch_snare, xm::note("C-4"), in_snare, 46);
}

void snare_half(Score &s, int bar) {
    s.put(bar * rows_per_bar + 8, ch_snare, xm::note("C-4"), in_snare, 48);
}

// A bar that ends in a run of snares into the next section.
void snare_fill(Score &s, int bar) {
    s.put(bar * rows_per_bar + 4, ch_snare, xm::note("C-4"), in_snare, 46);
    static const int rows[] = {10, 12, 13, 14, 15};
    static const int vols[] = {30, 40, 34, 44, 52};
    for (int i = 0; i < 5; ++i)
        s.put(bar * rows_per_bar + rows[i], ch_snare, xm::note("C-4"), in_snare, vols[i]);
}

// A whole bar of sixteenth snares, rising in pitch and loudness.
void snare_roll(Score &s, int bar) {
    for (int r = 0; r < rows_per_bar; ++r) {
        const char *pitch = r < 8 ? "C-4" : r < 12 ? "D-4" : "E-4";
        s.put(bar * rows_per_bar + r, ch_snare, xm::note(pitch), in_snare, 18 + r * 3);
    }
}

void hats(Score &s, int bar, bool sixteenths, int volume, bool open_last = true) {
    for (int r = 0; r < rows_per_bar; r += sixteenths ? 1 : 2) {
        int v = r % 4 == 2 ? volume + 8 : r % 2 ? volume - 6 : volume;
        if (open_last && r == 14)
            s.put(bar * rows_per_bar + r, ch_hats, xm::note("C-4"), in_open_hat, volume + 4);
        else
            s.put(bar * rows_per_bar + r, ch_hats, xm::note("C-4"), in_closed_hat, v);
    }
}

void crash(Score &s, int row, int volume = 36) {
    s.put(row, ch_crash, xm::note("C-4"), in_crash, volume);
}

// Bass lines.

void bass_octaves(Score &s, int bar, const Chord &c, int volume = 50) {
    for (int i = 0; i < 8; ++i)
        s.put(bar * rows_per_bar + 2 * i, ch_bass, up(c.bass, i % 2 ? 12 : 0), in_bass,
              i % 2 ? volume - 8 : volume);
}

void bass_held(Score &s, int bar, const Chord &c, int volume = 46) {
    s.put(bar * rows_per_bar, ch_bass, xm::note(c.bass), in_bass, volume);
    s.put(bar * rows_per_bar + 8, ch_bass, xm::note(c.bass), in_bass, volume - 8);
}

void bass_syncopated(Score &s, int bar, const Chord &c) {
    s.put(bar * rows_per_bar, ch_bass, xm::note(c.bass), in_bass, 50);
    s.put(bar * rows_per_bar + 6, ch_bass, xm::note(c.bass), in_bass, 42);
    s.put(bar * rows_per_bar + 10, ch_bass, xm::note(c.bass), in_bass, 46);
    s.put(bar * rows_per_bar + 14, ch_bass, up(c.bass, 12), in_bass, 38);
}

// Chord parts.

// The chord as a tracker arpeggio: the effect runs on every row, a note
// retriggers the pluck every `step` rows with an accent on the beat.
void arpeggio(Score &s, int bar, const Chord &c, int instrument, int step, int volume) {
    for (int r = 0; r < rows_per_bar; ++r) {
        int row = bar * rows_per_bar + r;
        if (r % step == 0)
            s.put(row, ch_arp, xm::note(c.arp_root), instrument, r % 4 == 0 ? volume : volume - 8,
                  0, c.arp);
        else
            s.effect(row, ch_arp, 0, c.arp);
    }
}

void pad(Score &s, int bar, const Chord &c, int volume) {
    static const std::uint8_t pans[] = {0x50, 0x80, 0xb0};
    for (int i = 0; i < 3; ++i)
        s.put(bar * rows_per_bar, ch_pad + i, xm::note(c.pad[i]), in_pad, volume, effect_panning,
              pans[i]);
}

// Chord tones up and down in eighths, high above the rest.
void bell_figure(Score &s, int bar, const Chord &c, int volume) {
    static const int tone[] = {0, 1, 2, 3, 2, 1, 0, 1};
    for (int i = 0; i < 8; ++i) {
        std::uint8_t n = tone[i] == 3 ? up(c.bell[0], 12) : xm::note(c.bell[tone[i]]);
        s.put(bar * rows_per_bar + 2 * i, ch_bell, n, in_bell, i % 2 ? volume - 6 : volume);
    }
}

// The melody on the lead channel from row 0; with `echo`, a quieter copy
// three rows later on the far side of the stereo field.
void melody(Score &s, const Melody &m, int volume, bool echo) {
    int row = 0;
    for (const Note &n : m) {
        std::uint8_t note = n.name ? xm::note(n.name) : xm::key_off;
        s.put(row, ch_lead, note, in_lead, volume);
        if (echo)
            s.put(row + 3, ch_echo, note, in_lead, volume * 2 / 5, effect_panning, 0xc8);
        row += n.rows;
    }
}

xm::Pattern intro() {
    Score s;
    for (int bar = 0; bar < 4; ++bar) {
        const Chord &c = *verse_chords[bar];
        pad(s, bar, c, 24);
        bell_figure(s, bar, c, 30);
        if (bar >= 1)
            arpeggio(s, bar, c, in_arp_soft, 2, 28);
        if (bar >= 2) {
            hats(s, bar, false, 20, false);
            bass_held(s, bar, c, 40);
        }
    }
    return s.pattern;
}

xm::Pattern build() {
    Score s;
    crash(s, 0, 28);
    for (int bar = 0; bar < 4; ++bar) {
        const Chord &c = *verse_chords[bar];
        pad(s, bar, c, 22);
        arpeggio(s, bar, c, in_arp_soft, 2, 32);
        kick_four(s, bar, 52);
        hats(s, bar, false, 26);
        if (bar < 2)
            bass_held(s, bar, c);
        else
            bass_octaves(s, bar, c, 46);
    }
    snare_fill(s, 3);
    return s.pattern;
}

// The full groove under the theme; `last` is how the fourth bar's drums end.
enum class Ending { groove, fill, roll };

xm::Pattern verse(const Chord *const chords[4], const Melody &m, bool echo, bool sixteenth_arp,
                  bool bells, Ending last) {
    Score s;
    crash(s, 0);
    for (int bar = 0; bar < 4; ++bar) {
        const Chord &c = *chords[bar];
        pad(s, bar, c, 16);
        arpeggio(s, bar, c, in_arp, sixteenth_arp ? 1 : 2, sixteenth_arp ? 26 : 30);
        bass_octaves(s, bar, c);
        kick_four(s, bar);
        hats(s, bar, true, 30);
        if (bells)
            bell_figure(s, bar, c, 28);
        if (bar < 3 || last == Ending::groove)
            snare_backbeat(s, bar);
        else if (last == Ending::fill)
            snare_fill(s, bar);
        else
            snare_roll(s, bar);
    }
    melody(s, m, 52, echo);
    return s.pattern;
}

xm::Pattern bridge_part() {
    Score s;
    crash(s, 0, 30);
    for (int bar = 0; bar < 4; ++bar) {
        const Chord &c = *bridge_chords[bar];
        pad(s, bar, c, 22);
        arpeggio(s, bar, c, in_arp_soft, 2, 26);
        bell_figure(s, bar, c, 24);
        bass_syncopated(s, bar, c);
        kick_half(s, bar);
        snare_half(s, bar);
        hats(s, bar, false, 26, false);
    }
    melody(s, bridge, 52, false);
    return s.pattern;
}

xm::Pattern outro() {
    Score s;
    const Chord *chords[] = {&Am, &F, &E, &Am};
    crash(s, 0);
    for (int bar = 0; bar < 4; ++bar) {
        const Chord &c = *chords[bar];
        pad(s, bar, c, bar < 3 ? 16 : 28);
        if (bar < 3) {
            arpeggio(s, bar, c, in_arp, 2, 30);
            bass_octaves(s, bar, c);
            kick_four(s, bar);
            snare_backbeat(s, bar);
            hats(s, bar, true, 30);
        } else {
            // The last bar rings out on the tonic: one kick, one crash, one bass note.
            s.put(bar * rows_per_bar, ch_kick, xm::note("C-4"), in_kick, 56);
            crash(s, bar * rows_per_bar, 40);
            s.put(bar * rows_per_bar, ch_bass, xm::note(c.bass), in_bass, 50);
            bell_figure(s, bar, c, 22);
        }
    }
    melody(s, ending, 52, true);
    return s.pattern;
}

} // namespace

xm::Module song() {
    xm::Module m;
    m.name = "Vorbo returns";
    m.channels = channel_count;
    m.speed = 6;
    m.tempo = 120;
    m.instruments = {kick(),     snare(),   closed_hat(), open_hat(), crash(), bass(),
                     arp(false), arp(true), lead(),       pad(),      bell()};

    m.patterns.push_back(intro());
    m.patterns.push_back(build());
    m.patterns.push_back(verse(verse_chords, theme, false, false, false, Ending::groove));
    m.patterns.push_back(verse(verse_chords, theme_high, true, false, false, Ending::fill));
    m.patterns.push_back(bridge_part());
    m.patterns.push_back(verse(bridge_chords, bridge_high, true, false, false, Ending::roll));
    m.patterns.push_back(verse(verse_chords, theme_high, true, true, true, Ending::groove));
    m.patterns.push_back(outro());
    m.orders = {0, 1, 2, 3, 4, 5, 6, 7};
    m.restart = 0;
    return m;
}

} // namespace xmgen
