// Synthesises the soundtrack's instrument samples: additive waves, filtered noise, FM bell,
// pitch-swept kick.
#include "tools/xmgen/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace xmgen {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double c4 = 261.6255653005986; // Hz, with A-4 at 440 Hz
constexpr double drum_rate = 44100.0;

// A fixed-seed xorshift generator, so that every build writes the same noise.
class Noise {
  public:
    explicit Noise(std::uint32_t seed) : state(seed) {}
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }

  private:
    std::uint32_t state;
};

// A two-pole state-variable filter (Chamberlin); stable for cutoffs below a
// sixth of the rate, which every use here keeps.
class Svf {
  public:
    Svf(double cutoff, double rate, double q)
        : f(2.0 * std::sin(pi * cutoff / rate)), damp(1.0 / q) {}
    void step(double x) {
        low += f * band;
        high = x - low - damp * band;
        band += f * high;
    }
    // Moves the cutoff without touching the state, for sweeps.
    void retune(double cutoff, double rate) { f = 2.0 * std::sin(pi * cutoff / rate); }
    double low = 0, band = 0, high = 0;

  private:
    double f, damp;
};

// Magnitude of a resonant two-pole low-pass at harmonic h for cutoff harmonic c.
double lowpass(double h, double c, double q) {
    double r = h / c;
    return 1.0 / std::sqrt((1.0 - r * r) * (1.0 - r * r) + (r / q) * (r / q));
}

std::vector<std::int16_t> to_pcm(const std::vector<double> &v) {
    double peak = 1e-12;
    for (double x : v)
        peak = std::max(peak, std::fabs(x));
    std::vector<std::int16_t> out(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        out[i] = std::int16_t(std::lround(v[i] / peak * 0.9 * 32767.0));
    return out;
}

// Rounds the peaks of a sustained wave off (tanh at `drive` times its peak):
// more loudness for the same peak level, and a little more brightness. Works
// point by point, so a seamless loop stays seamless.
std::vector<double> saturated(std::vector<double> v, double drive) {
    double peak = 1e-12;
    for (double x : v)
        peak = std::max(peak, std::fabs(x));
    for (double &x : v)
        x = std::tanh(drive * x / peak);
    return v;
}

xm::Sample make_sample(const char *name, const std::vector<double> &data, double rate,
                       std::size_t loop_start = 0, std::size_t loop_length = 0) {
    xm::Sample s;
    s.name = name;
    s.data = to_pcm(data);
    s.loop_start = std::uint32_t(loop_start);
    s.loop_length = std::uint32_t(loop_length);
    tune(s, rate);
    return s;
}

// `cycles` periods of `period` frames of a wave whose harmonic h has the
// amplitude spectrum(h, t), t in seconds at the native rate, taken afresh for
// each period. Every harmonic is a sine starting at phase 0, so each period
// begins and ends at 0 whatever the amplitudes: a changing spectrum leaves no
// steps at the period boundaries.
// One period of a sine in n steps.
std::vector<double> sine_table(int n) {
    std::vector<double> table(n);
    for (int k = 0; k < n; ++k)
        table[k] = std::sin(2.0 * pi * k / n);
    return table;
}

template <class Spectrum>
std::vector<double> evolving(int period, int cycles, int harmonics, double rate,
                             Spectrum spectrum) {
    const std::vector<double> table = sine_table(period);
    std::vector<double> out(std::size_t(period) * cycles, 0.0);
    std::vector<double> amp(harmonics + 1);
    for (int c = 0; c < cycles; ++c) {
        double t = double(c) * period / rate;
        for (int h = 1; h <= harmonics; ++h)
            amp[h] = spectrum(h, t);
        for (int i = 0; i < period; ++i) {
            double sum = 0;
            for (int h = 1; h <= harmonics; ++h)
                sum += amp[h] * table[(h * i) % period];
            out[std::size_t(c) * period + i] = sum;
        }
    }
    return out;
}

struct Voice {
    int cycles;       // whole cycles of the voice in the loop
    double amplitude; // of its fundamental
    int phase;        // start offset, in frames of the loop
};

// A loop of `length` frames holding whole cycles of every voice, so it
// repeats without a seam; voices a cycle or two apart beat slowly like
// detuned oscillators. weight[h] shapes every voice's harmonic h.
std::vector<double> detuned(int length, const std::vector<Voice> &voices,
                            const std::vector<double> &weight) {
    const std::vector<double> table = sine_table(length);
    std::vector<double> out(length, 0.0);
    for (const Voice &v : voices) {
        for (std::size_t h = 1; h < weight.size(); ++h) {
            double a = v.amplitude * weight[h];
            if (a == 0)
                continue;
            for (int i = 0; i < length; ++i) {
                std::int64_t index = std::int64_t(h) * v.cycles * (i + v.phase);
                out[i] += a * table[std::size_t(index % length)];
            }
        }
    }
    return out;
}

// The metallic ring of an analogue hi-hat: six square waves at unrelated
// pitches, summed.
double metal(double t, double scale) {
    static const double freqs[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    double sum = 0;
    for (double f : freqs)
        sum += std::fmod(t * f * scale, 1.0) < 0.5 ? 1.0 : -1.0;
    return sum / 6.0;
}

// High-passed noise and metal under an exponential decay, for the cymbals.
std::vector<double> cymbal(double seconds, double decay, double cutoff, double metal_scale,
                           std::uint32_t seed) {
    Noise noise(seed);
    Svf hp1(cutoff, drum_rate, 0.7), hp2(cutoff, drum_rate, 0.7);
    std::size_t n = std::size_t(seconds * drum_rate);
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        double t = i / drum_rate;
        double x = 0.6 * noise.next() + 0.8 * metal(t, metal_scale);
        hp1.step(x);
        hp2.step(hp1.high);
        double attack = std::min(1.0, t / 0.0015);
        out[i] = hp2.high * attack * std::exp(-t / decay);
    }
    return out;
}

// Noise through a band-pass whose centre glides exponentially from `from` to
// `to` Hz over the sound, shaped by `gain`(t / seconds); rendered at fx_rate,
// which leaves the sweeps' top well below the filter's limit of a sixth of the rate.
constexpr double fx_rate = 22050.0;

template <class Gain>
std::vector<double> swept_noise(double seconds, double from, double to, std::uint32_t seed,
                                Gain gain) {
    Noise noise(seed);
    Svf bp(from, fx_rate, 1.6), body(from / 4, fx_rate, 0.7);
    std::size_t n = std::size_t(seconds * fx_rate);
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        double u = double(i) / double(n);
        double f = from * std::pow(to / from, u);
        bp.retune(f, fx_rate);
        body.retune(f / 4, fx_rate);
        double x = noise.next();
        bp.step(x);
        body.step(x);
        out[i] = (bp.band + 0.35 * body.low) * gain(u);
    }
    return out;
}

// An instrument and its one sample, both called `name`.
xm::Instrument instrument(const char *name, const std::vector<double> &data, double rate,
                          std::size_t loop_start = 0, std::size_t loop_length = 0) {
    xm::Instrument ins;
    ins.name = name;
    ins.sample = make_sample(name, data, rate, loop_start, loop_length);
    return ins;
}

xm::Envelope envelope(std::vector<xm::EnvelopePoint> points, int sustain = -1) {
    xm::Envelope e;
    e.points = std::move(points);
    e.sustain = sustain;
    return e;
}

} // namespace

void tune(xm::Sample &sample, double rate) {
    // C-4 with relative note 0 and finetune 0 plays 8363 frames per second;
    // each relative note is a semitone and each finetune step 1/128 of one.
    double semitones = 12.0 * std::log2(rate / 8363.0);
    long relative = std::lround(semitones);
    long fine = std::lround((semitones - relative) * 128.0);
    sample.relative_note = std::int8_t(std::clamp(relative, -96L, 95L));
    sample.finetune = std::int8_t(std::clamp(fine, -128L, 127L));
}

xm::Instrument kick() {
    std::size_t n = std::size_t(0.45 * drum_rate);
    std::vector<double> v(n);
    Noise noise(0x6b69636b);
    Svf click(3000.0, drum_rate, 0.7);
    double phase = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double t = i / drum_rate;
        double f = 46.0 + 110.0 * std::exp(-t / 0.032) + 260.0 * std::exp(-t / 0.004);
        phase += 2.0 * pi * f / drum_rate;
        double body = std::sin(phase) * std::exp(-t / 0.2) * std::min(1.0, t / 0.0008);
        click.step(noise.next());
        double x = body + 0.35 * click.low * std::exp(-t / 0.003);
        v[i] = std::tanh(1.8 * x);
    }
    return instrument("kick", v, drum_rate);
}

xm::Instrument snare() {
    std::size_t n = std::size_t(0.38 * drum_rate);
    std::vector<double> v(n);
    Noise noise(0x736e6172);
    Svf body(2600.0, drum_rate, 0.6), air(6500.0, drum_rate, 0.7);
    for (std::size_t i = 0; i < n; ++i) {
        double t = i / drum_rate;
        double tone = 0.6 * std::sin(2.0 * pi * 185.0 * t) * std::exp(-t / 0.055) +
                      0.3 * std::sin(2.0 * pi * 330.0 * t) * std::exp(-t / 0.035);
        double r = noise.next();
        body.step(r);
        air.step(r);
        double rattle = (0.9 * body.band + 0.4 * air.high) * std::exp(-t / 0.085);
        v[i] = std::tanh(1.4 * (tone + rattle) * std::min(1.0, t / 0.0005));
    }
    return instrument("snare", v, drum_rate);
}

xm::Instrument closed_hat() {
    xm::Instrument ins =
        instrument("closed hat", cymbal(0.1, 0.018, 7000.0, 1.0, 0x68617431), drum_rate);
    ins.sample.panning = 0xa0;
    return ins;
}

xm::Instrument open_hat() {
    xm::Instrument ins =
        instrument("open hat", cymbal(0.55, 0.16, 6500.0, 1.0, 0x68617432), drum_rate);
    ins.sample.panning = 0xa0;
    return ins;
}

xm::Instrument crash() {
    xm::Instrument ins = instrument("crash", cymbal(2.0, 0.65, 3800.0, 1.7, 0x63726173), drum_rate);
    ins.sample.panning = 0x60;
    return ins;
}

xm::Instrument bass() {
    // A saw with a sub sine under a resonant low-pass that closes quickly
    // after the attack; the last period loops.
    const int period = 256, harmonics = 64;
    const double rate = c4 * period;
    const int cycles = int(0.22 * rate / period) + 1;
    auto spectrum = [](int h, double t) {
        double cutoff = 3.2 + 26.0 * std::exp(-t / 0.045);
        double saw = 1.0 / h + (h == 1 ? 0.6 : 0.0);
        return saw * lowpass(h, cutoff, 1.8) * (h <= 48 ? 1.0 : (64 - h) / 16.0);
    };
    std::vector<double> v = evolving(period, cycles, harmonics, rate, spectrum);
    xm::Instrument ins = instrument("bass", v, rate, std::size_t(cycles - 1) * period, period);
    ins.volume = envelope({{0, 64}, {4, 58}, {16, 48}, {48, 40}});
    ins.fadeout = 2048;
    return ins;
}

xm::Instrument arp(bool bright) {
    // A 25% pulse: harmonic h has amplitude sin(pi h / 4) / h.
    const int period = 64, harmonics = 20;
    const double rate = c4 * period;
    const int cycles = int(0.25 * rate / period) + 1;
    auto spectrum = [bright](int h, double t) {
        double cutoff = bright ? 5.0 + 18.0 * std::exp(-t / 0.06) : 2.4 + 3.0 * std::exp(-t / 0.05);
        return std::sin(pi * h / 4.0) / h * lowpass(h, cutoff, bright ? 1.4 : 1.0);
    };
    std::vector<double> v = evolving(period, cycles, harmonics, rate, spectrum);
    xm::Instrument ins = instrument(bright ? "arp" : "arp soft", saturated(v, 1.5), rate,
                                    std::size_t(cycles - 1) * period, period);
    ins.sample.panning = 0x58;
    ins.volume = envelope({{0, 64}, {3, 46}, {8, 28}, {16, 14}, {30, 0}});
    return ins;
}

xm::Instrument lead() {
    // Two saws a cycle apart in the loop around a square: a slow chorus.
    const int period = 128, cycles = 128, length = period * cycles;
    std::vector<double> saw(33), square(33);
    for (int h = 1; h <= 32; ++h) {
        double soft = 1.0 / (1.0 + (h / 16.0) * (h / 16.0));
        saw[h] = soft / h;
        square[h] = h % 2 ? soft / h : 0.0;
    }
    std::vector<double> v = detuned(length, {{cycles - 1, 0.5, 0}, {cycles + 1, 0.5, 37}}, saw);
    std::vector<double> sq = detuned(length, {{cycles, 0.4, 0}}, square);
    for (int i = 0; i < length; ++i)
        v[i] += sq[i];
    xm::Instrument ins = instrument("lead", saturated(v, 1.5), c4 * period, 0, length);
    ins.sample.panning = 0x78;
    ins.volume = envelope({{0, 24}, {2, 64}, {12, 52}, {24, 48}}, 3);
    ins.fadeout = 1200;
    ins.vibrato_type = 0;
    ins.vibrato_sweep = 40;
    ins.vibrato_depth = 4;
    ins.vibrato_rate = 10;
    return ins;
}

xm::Instrument pad() {
    // Five saws spread over a few cents under a gentle low-pass.
    const int period = 128, cycles = 128, length = period * cycles;
    std::vector<double> weight(25);
    for (int h = 1; h <= 24; ++h)
        weight[h] = 1.0 / h / (1.0 + (h / 6.0) * (h / 6.0));
    std::vector<double> v = detuned(length,
                                    {{cycles - 2, 0.3, 11},
                                     {cycles - 1, 0.5, 53},
                                     {cycles, 0.5, 0},
                                     {cycles + 1, 0.5, 91},
                                     {cycles + 2, 0.3, 29}},
                                    weight);
    xm::Instrument ins = instrument("pad", saturated(v, 2.0), c4 * period, 0, length);
    ins.volume = envelope({{0, 0}, {20, 50}, {44, 64}, {96, 54}, {200, 44}});
    ins.fadeout = 600;
    return ins;
}

xm::Instrument bell() {
    // Two-operator FM at the inharmonic ratio 3.5, the index falling as the
    // tone dies away, over a plain sine that keeps the pitch clear.
    const int period = 64;
    const double rate = c4 * period, f = c4;
    std::size_t n = std::size_t(1.3 * rate);
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        double t = i / rate;
        double index = 0.3 + 1.5 * std::exp(-t / 0.15);
        double tone = std::sin(2.0 * pi * f * t + index * std::sin(2.0 * pi * 3.5 * f * t)) +
                      0.6 * std::sin(2.0 * pi * f * t) + 0.15 * std::sin(2.0 * pi * 2.0 * f * t);
        v[i] = tone * std::exp(-t / 0.42) * std::min(1.0, t / 0.001);
    }
    xm::Instrument ins = instrument("bell", v, rate);
    ins.sample.panning = 0xa8;
    return ins;
}

xm::Instrument riser() {
    // Two seconds of noise opening upwards, swelling to the end.
    auto gain = [](double u) { return u * u * (1.0 - std::pow(u, 40.0)); };
    xm::Instrument ins =
        instrument("riser", swept_noise(2.0, 300.0, 3400.0, 0x72697365, gain), fx_rate);
    ins.sample.panning = 0x90;
    return ins;
}

xm::Instrument flyby() {
    // A jet passing: a short swell, then noise falling in pitch as it goes away.
    auto gain = [](double u) { return std::min(1.0, u / 0.06) * std::exp(-u / 0.32); };
    xm::Instrument ins =
        instrument("flyby", swept_noise(2.6, 3400.0, 180.0, 0x6a657421, gain), fx_rate);
    ins.sample.panning = 0x70;
    return ins;
}

} // namespace xmgen
