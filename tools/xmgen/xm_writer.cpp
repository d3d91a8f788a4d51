// Serialises a module into the .xm file layout: header, packed patterns, instruments, delta
// samples.
#include "tools/xmgen/xm_writer.h"

#include <algorithm>
#include <cstring>

namespace xm {

std::uint8_t note(const char *name) {
    static const char letters[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    if (!name || std::strlen(name) != 3 || name[2] < '0' || name[2] > '7')
        return 0;
    for (int semitone = 0; semitone < 12; ++semitone) {
        if (name[0] == letters[2 * semitone] && name[1] == letters[2 * semitone + 1])
            return std::uint8_t((name[2] - '0') * 12 + semitone + 1);
    }
    return 0;
}

std::uint8_t set_volume(int v) {
    return std::uint8_t(0x10 + std::clamp(v, 0, 64));
}

std::uint8_t volume_slide_down(int per_tick) {
    return std::uint8_t(0x60 + std::clamp(per_tick, 1, 15));
}

namespace {

class Writer {
  public:
    std::vector<std::uint8_t> bytes;

    void u8(unsigned v) { bytes.push_back(std::uint8_t(v)); }
    void u16(unsigned v) {
        u8(v & 0xff);
        u8((v >> 8) & 0xff);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xffff);
        u16(v >> 16);
    }
    // A fixed-size text field: cut to size, padded with the given byte.
    void text(const std::string &s, std::size_t size, char pad = '\0') {
        for (std::size_t i = 0; i < size; ++i)
            u8(i < s.size() ? std::uint8_t(s[i]) : std::uint8_t(pad));
    }
    void fill(std::size_t count, std::uint8_t v = 0) { bytes.insert(bytes.end(), count, v); }
};

bool valid_envelope(const Envelope &e) {
    if (e.points.size() > 12 || e.sustain >= int(e.points.size()))
        return false;
    for (std::size_t i = 1; i < e.points.size(); ++i) {
        if (e.points[i].tick <= e.points[i - 1].tick)
            return false;
    }
    return std::all_of(e.points.begin(), e.points.end(),
                       [](const EnvelopePoint &p) { return p.value <= 64; });
}

bool valid(const Module &m) {
    if (m.channels < 2 || m.channels > 32 || m.orders.empty() || m.orders.size() > 256 ||
        m.patterns.empty() || m.patterns.size() > 256 || m.instruments.size() > 128 ||
        m.speed < 1 || m.speed > 31 || m.tempo < 32 || m.tempo > 255 || m.restart < 0 ||
        m.restart >= int(m.orders.size()))
        return false;
    for (std::uint8_t o : m.orders) {
        if (o >= m.patterns.size())
            return false;
    }
    for (const Pattern &p : m.patterns) {
        if (p.rows < 1 || p.rows > 256 || p.cells.size() != std::size_t(p.rows) * m.channels)
            return false;
    }
    for (const Instrument &i : m.instruments) {
        const Sample &s = i.sample;
        // Lengths are stored in bytes in 32 bits: two bytes per 16-bit frame.
        if (!valid_envelope(i.volume) || !valid_envelope(i.panning) || s.volume > 64 ||
            s.data.size() > 0x7fffffffu / 2 || s.loop_start > s.data.size() ||
            s.loop_length > s.data.size() - s.loop_start)
            return false;
    }
    return true;
}

void pattern(Writer &w, const Pattern &p) {
    Writer data;
    for (const Cell &c : p.cells) {
        const bool all = c.note && c.instrument && c.vol && c.effect && c.param;
        if (all) {
            data.u8(c.note);
            data.u8(c.instrument);
            data.u8(c.vol);
            data.u8(c.effect);
            data.u8(c.param);
            continue;
        }
        // Packed cell: a flag byte with the top bit set says which fields follow.
        unsigned flags = 0x80 | (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.vol ? 4 : 0) |
                         (c.effect ? 8 : 0) | (c.param ? 16 : 0);
        data.u8(flags);
        for (std::uint8_t v : {c.note, c.instrument, c.vol, c.effect, c.param}) {
            if (v)
                data.u8(v);
        }
    }
    w.u32(9); // pattern header length
    w.u8(0);  // packing type
    w.u16(unsigned(p.rows));
    w.u16(unsigned(data.bytes.size()));
    w.bytes.insert(w.bytes.end(), data.bytes.begin(), data.bytes.end());
}

void envelope_points(Writer &w, const Envelope &e) {
    for (std::size_t i = 0; i < 12; ++i) {
        w.u16(i < e.points.size() ? e.points[i].tick : 0);
        w.u16(i < e.points.size() ? e.points[i].value : 0);
    }
}

unsigned envelope_type(const Envelope &e) {
    if (e.points.empty())
        return 0;
    return 1 | (e.sustain >= 0 ? 2 : 0);
}

void instrument(Writer &w, const Instrument &ins) {
    const Sample &s = ins.sample;
    w.u32(263); // instrument header size, including the sample map and envelopes
    w.text(ins.name, 22);
    w.u8(0);       // type
    w.u16(1);      // samples
    w.u32(40);     // sample header size
    w.fill(96, 0); // every key plays sample 0
    envelope_points(w, ins.volume);
    envelope_points(w, ins.panning);
    w.u8(unsigned(ins.volume.points.size()));
    w.u8(unsigned(ins.panning.points.size()));
    w.u8(unsigned(std::max(ins.volume.sustain, 0)));
    w.u8(0); // volume loop start
    w.u8(0); // volume loop end
    w.u8(unsigned(std::max(ins.panning.sustain, 0)));
    w.u8(0);
    w.u8(0);
    w.u8(envelope_type(ins.volume));
    w.u8(envelope_type(ins.panning));
    w.u8(ins.vibrato_type);
    w.u8(ins.vibrato_sweep);
    w.u8(ins.vibrato_depth);
    w.u8(ins.vibrato_rate);
    w.u16(ins.fadeout);
    w.fill(22, 0); // reserved

    w.u32(std::uint32_t(s.data.size() * 2));
    w.u32(s.loop_start * 2);
    w.u32(s.loop_length * 2);
    w.u8(s.volume);
    w.u8(std::uint8_t(s.finetune));
    w.u8(0x10 | (s.loop_length ? 1 : 0)); // 16-bit, forward loop if any
    w.u8(s.panning);
    w.u8(std::uint8_t(s.relative_note));
    w.u8(0); // delta-coded sample data
    w.text(s.name, 22);

    // Sample data is stored as differences to the previous value, wrapping in 16 bits.
    std::uint16_t previous = 0;
    for (std::int16_t v : s.data) {
        std::uint16_t u = std::uint16_t(v);
        w.u16(std::uint16_t(u - previous));
        previous = u;
    }
}

} // namespace

std::vector<std::uint8_t> write(const Module &m) {
    if (!valid(m))
        return {};
    Writer w;
    w.text("Extended Module: ", 17);
    w.text(m.name, 20);
    w.u8(0x1a);
    w.text("vorbo xmgen", 20, ' ');
    w.u16(0x0104);
    w.u32(276); // header size from this field to the end of the order table
    w.u16(unsigned(m.orders.size()));
    w.u16(unsigned(m.restart));
    w.u16(unsigned(m.channels));
    w.u16(unsigned(m.patterns.size()));
    w.u16(unsigned(m.instruments.size()));
    w.u16(1); // linear frequency table
    w.u16(unsigned(m.speed));
    w.u16(unsigned(m.tempo));
    for (std::size_t i = 0; i < 256; ++i)
        w.u8(i < m.orders.size() ? m.orders[i] : 0);

    // A packed cell takes at most 5 bytes, so 256 rows of 32 channels fit the
    // 16-bit packed size.
    static_assert(256 * 32 * 5 <= 0xffff, "packed patterns fit their size field");
    for (const Pattern &p : m.patterns)
        pattern(w, p);
    for (const Instrument &ins : m.instruments)
        instrument(w, ins);
    return w.bytes;
}

} // namespace xm
