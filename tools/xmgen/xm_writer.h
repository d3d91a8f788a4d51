// A small writer of FastTracker 2 extended modules (.xm): song, patterns, instruments, samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xm {

// Note numbers as stored in a pattern cell: 1 is C-0, 49 is C-4, 96 is B-7;
// 97 releases the playing note (key off). 0 leaves the cell without a note.
constexpr std::uint8_t no_note = 0;
constexpr std::uint8_t key_off = 97;

// The note number of a name such as "C-4", "F#3" or "A-5"; 0 for a bad name.
std::uint8_t note(const char *name);

// One channel of one row. vol is the volume column as stored: 0 for none,
// 0x10..0x50 to set volume 0..64. effect/param are the effect column
// (effect 0 with a nonzero param is the arpeggio).
struct Cell {
    std::uint8_t note = no_note;
    std::uint8_t instrument = 0; // 1-based, 0 keeps the channel's instrument
    std::uint8_t vol = 0;
    std::uint8_t effect = 0;
    std::uint8_t param = 0;
};

// The volume column's "set volume" entry for volume v (clamped to 0..64).
std::uint8_t set_volume(int v);
// The volume column's "slide down" entry: the volume falls by `per_tick`
// (clamped to 1..15) on every tick of the row but its first.
std::uint8_t volume_slide_down(int per_tick);

struct Pattern {
    int rows = 64;
    std::vector<Cell> cells; // rows x channels, row after row

    Pattern(int rows, int channels) : rows(rows), cells(std::size_t(rows) * channels) {}
    Cell &at(int row, int channel, int channels) {
        return cells[std::size_t(row) * channels + channel];
    }
};

// One sample of an instrument, 16-bit signed mono. Lengths and loop points
// are counted in sample frames (the writer converts them to bytes).
struct Sample {
    std::string name;
    std::vector<std::int16_t> data;
    std::uint32_t loop_start = 0;
    std::uint32_t loop_length = 0; // 0: no loop
    std::uint8_t volume = 64;
    std::int8_t finetune = 0;
    std::uint8_t panning = 128;
    std::int8_t relative_note = 0;
};

// A point of an instrument envelope: tick and value (0..64).
struct EnvelopePoint {
    std::uint16_t tick;
    std::uint16_t value;
};

struct Envelope {
    std::vector<EnvelopePoint> points; // at most 12; empty: envelope off
    int sustain = -1;                  // point index held until key off, -1: none
};

// An instrument with one sample on every key.
struct Instrument {
    std::string name;
    Sample sample;
    Envelope volume;
    Envelope panning;
    std::uint8_t vibrato_type = 0; // 0 sine, 1 square, 2 ramp down, 3 ramp up
    std::uint8_t vibrato_sweep = 0;
    std::uint8_t vibrato_depth = 0;
    std::uint8_t vibrato_rate = 0;
    std::uint16_t fadeout = 0; // volume fade after key off, per tick
};

struct Module {
    std::string name;
    int channels = 8;
    int speed = 6;   // ticks per row
    int tempo = 125; // beats per minute (a tick lasts 2.5 / tempo seconds)
    int restart = 0; // order that playback goes on with after the last one
    std::vector<std::uint8_t> orders;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

// The module as the bytes of an .xm file (version 1.04, linear frequency
// table). Returns an empty vector when the module cannot be stored: more than
// 256 orders, patterns or 128 instruments, 2..32 channels exceeded, a pattern
// of 1..256 rows violated, or more than 12 envelope points.
std::vector<std::uint8_t> write(const Module &module);

} // namespace xm
