// Tests of the XM writer and of the generated soundtrack: clean load, length, sound all through the
// show, sections on the show's cuts, quiet after it.
#include "demo/demo.h"
#include "tests/sound/sound_test_support.h"
#include "tools/xmgen/song.h"
#include "tools/xmgen/xm_writer.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace sound_test;

// A string that libopenmpt allocated for the caller, copied and released.
std::string text(const char *s) {
    std::string copy = s ? s : "";
    openmpt_free_string(s);
    return copy;
}

std::string cell(openmpt_module *m, int pattern, int row, int channel, int command) {
    return text(
        openmpt_module_format_pattern_row_channel_command(m, pattern, row, channel, command));
}

TEST(Soundtrack, LoadsWithoutWarningsAndLastsAMinute) {
    std::vector<std::string> log;
    std::vector<std::uint8_t> bytes = read_file(module_path);
    openmpt_module *m = open_module(bytes, &log);
    ASSERT_NE(m, nullptr);
    for (const std::string &line : log)
        ADD_FAILURE() << "libopenmpt: " << line;
    EXPECT_EQ(text(openmpt_module_get_metadata(m, "type")), "xm");
    EXPECT_GE(openmpt_module_get_num_channels(m), 4);
    EXPECT_GE(openmpt_module_get_num_instruments(m), 4);
    double seconds = openmpt_module_get_duration_seconds(m);
    EXPECT_GE(seconds, 60.0);
    EXPECT_LE(seconds, 70.0);
    openmpt_module_destroy(m);
}

// The seconds at which the show cuts from one scene to the next, and its end.
const std::vector<int> cuts = {0, 6, 9, 14, 21, 28, 34, 44, 49, int(demo::show_seconds)};

// The show's module rendered as the demo and the capture play it: 44.1 kHz
// stereo, repeating; `orders` gets the time at which each order began, to
// within a millisecond.
struct rendering {
    static const std::size_t rate = 44100;
    std::vector<std::int16_t> pcm;
    std::vector<double> orders;
};

rendering render(double seconds) {
    rendering r;
    openmpt_module *m = open_module(read_file(module_path));
    if (!m)
        return r;
    openmpt_module_set_repeat_count(m, -1);
    const std::size_t step = rendering::rate / 1000,
                      frames = std::size_t(seconds * rendering::rate);
    r.pcm.resize(frames * 2);
    int order = -1;
    for (std::size_t done = 0; done < frames; done += step) {
        // The order playing as the next millisecond begins.
        const int now = openmpt_module_get_current_order(m);
        if (now != order && r.orders.size() < 64)
            r.orders.push_back(double(done) / rendering::rate);
        order = now;
        std::size_t n = std::min(step, frames - done);
        if (openmpt_module_read_interleaved_stereo(m, rendering::rate, n, &r.pcm[done * 2]) != n)
            break;
    }
    openmpt_module_destroy(m);
    return r;
}

// Level of the mid signal over [from, to) seconds, in dB of full scale.
double level(const rendering &r, double from, double to) {
    std::size_t a = std::size_t(from * rendering::rate), b = std::size_t(to * rendering::rate);
    double sum = 0;
    for (std::size_t i = a; i < b; ++i) {
        double mid = (double(r.pcm[2 * i]) + r.pcm[2 * i + 1]) / 2;
        sum += mid * mid;
    }
    return 20 * std::log10(std::sqrt(sum / double(b - a)) / 32768 + 1e-12);
}

TEST(Soundtrack, SoundsThroughTheWholeShowWithoutClipping) {
    const rendering r = render(demo::show_seconds);
    ASSERT_EQ(r.pcm.size(), std::size_t(demo::show_seconds) * rendering::rate * 2);
    int peak = 0;
    double side = 0;
    for (std::size_t i = 0; i < r.pcm.size(); i += 2) {
        side += std::fabs(double(r.pcm[i]) - r.pcm[i + 1]);
        peak = std::max({peak, std::abs(int(r.pcm[i])), std::abs(int(r.pcm[i + 1]))});
    }
    // The show ends at the first frame of second 59: sound up to then.
    for (double t = 0; t < demo::show_seconds; t += 0.25)
        EXPECT_GT(level(r, t, t + 0.25), -40.0) << "quiet quarter second at " << t << " s";
    EXPECT_LT(peak, 32000) << "the mix reaches full scale";
    EXPECT_GT(side / double(r.pcm.size() / 2), 50.0) << "the mix is as good as mono";
}

TEST(Soundtrack, SectionsBeginOnTheShowsCuts) {
    EXPECT_EQ(xmgen::section_seconds(),
              std::vector<int>({0, 6, 9, 14, 21, 28, 34, 44, 49, 59, 61}));
    // As libopenmpt plays it: a whole number of frames per tick makes 120 BPM
    // run fast at 44.1 kHz unless the song makes up for it.
    const rendering r = render(61.5);
    ASSERT_GE(r.orders.size(), cuts.size());
    for (std::size_t k = 0; k < cuts.size(); ++k)
        EXPECT_NEAR(r.orders[k], cuts[k], 0.002) << "order " << k;
}

TEST(Soundtrack, EndsOnTheTonicAndStaysQuietAfterTheShow) {
    const rendering r = render(66);
    const double end = demo::show_seconds;
    // The last chord at 58 s is as loud as the music before it ...
    EXPECT_GT(level(r, end - 1, end - 0.5), level(r, end - 3, end - 1) - 3);
    // ... and gone with the show, also when the player goes on repeating.
    EXPECT_LT(level(r, end + 0.25, 66), -60.0);
}

TEST(Soundtrack, GeneratorWritesTheSameBytesEveryTime) {
    std::vector<std::uint8_t> once = xm::write(xmgen::song());
    ASSERT_FALSE(once.empty());
    EXPECT_TRUE(once == xm::write(xmgen::song()));
    EXPECT_TRUE(once == read_file(module_path)) << "build/data/test.xm is not the song";

    // The program writes the same file as well.
    const std::string out = temp_path("xmgen.xm");
    ASSERT_EQ(std::system((std::string(VORBO_XMGEN) + " " + out).c_str()), 0);
    EXPECT_TRUE(once == read_file(out));
    std::remove(out.c_str());
}

TEST(XmWriter, CellsAndSamplesReadBackThroughLibopenmpt) {
    xm::Module mod;
    mod.name = "writer test";
    mod.channels = 4;
    mod.speed = 3;
    mod.tempo = 140;
    mod.orders = {1, 0, 1};
    mod.restart = 1;
    mod.patterns.emplace_back(32, 4);
    mod.patterns.emplace_back(8, 4);
    xm::Cell full{xm::note("C-4"), 1, xm::set_volume(40), 0xC, 0x20}; // every field: unpacked
    mod.patterns[0].at(0, 0, 4) = full;
    mod.patterns[0].at(5, 3, 4) = {xm::note("G#7"), 2, 0, 0, 0x37}; // arpeggio, no volume
    mod.patterns[0].at(31, 2, 4) = {xm::key_off, 0, 0, 0, 0};
    mod.patterns[1].at(7, 1, 4) = {xm::note("B-0"), 0, xm::set_volume(99), 0x8, 0xff};
    mod.patterns[1].at(6, 2, 4) = {0, 0, xm::volume_slide_down(3), 0xE, 0xC3};
    for (const char *name : {"one", "two"}) {
        xm::Instrument ins;
        ins.name = name;
        ins.sample.name = std::string(name) + " sample";
        ins.sample.data = {0, 32767, -32768, 5, -5, 0};
        ins.sample.loop_start = 2;
        ins.sample.loop_length = 4;
        ins.volume.points = {{0, 64}, {10, 20}, {40, 0}};
        ins.volume.sustain = 1;
        mod.instruments.push_back(ins);
    }
    std::vector<std::uint8_t> bytes = xm::write(mod);
    ASSERT_FALSE(bytes.empty());

    std::vector<std::string> log;
    openmpt_module *m = open_module(bytes, &log);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_EQ(text(openmpt_module_get_metadata(m, "title")), "writer test");
    EXPECT_EQ(openmpt_module_get_num_channels(m), 4);
    EXPECT_EQ(openmpt_module_get_num_orders(m), 3);
    EXPECT_EQ(openmpt_module_get_order_pattern(m, 0), 1);
    EXPECT_EQ(openmpt_module_get_pattern_num_rows(m, 0), 32);
    EXPECT_EQ(openmpt_module_get_pattern_num_rows(m, 1), 8);
    EXPECT_EQ(openmpt_module_get_num_instruments(m), 2);
    EXPECT_EQ(text(openmpt_module_get_instrument_name(m, 1)), "two");
    EXPECT_EQ(text(openmpt_module_get_sample_name(m, 0)), "one sample");
    EXPECT_EQ(openmpt_module_get_current_speed(m), 3);
    EXPECT_EQ(openmpt_module_get_current_tempo(m), 140);

    // libopenmpt names notes an octave above FastTracker's (XM's C-4 is its
    // C-5) and shows volumes in hexadecimal.
    EXPECT_EQ(cell(m, 0, 0, 0, OPENMPT_MODULE_COMMAND_NOTE), "C-5");
    EXPECT_EQ(cell(m, 0, 0, 0, OPENMPT_MODULE_COMMAND_INSTRUMENT), "01");
    EXPECT_EQ(cell(m, 0, 0, 0, OPENMPT_MODULE_COMMAND_VOLUME), "28");
    EXPECT_EQ(cell(m, 0, 0, 0, OPENMPT_MODULE_COMMAND_EFFECT), "C");
    EXPECT_EQ(cell(m, 0, 0, 0, OPENMPT_MODULE_COMMAND_PARAMETER), "20");
    EXPECT_EQ(cell(m, 0, 5, 3, OPENMPT_MODULE_COMMAND_NOTE), "G#8");
    EXPECT_EQ(cell(m, 0, 5, 3, OPENMPT_MODULE_COMMAND_EFFECT), "0");
    EXPECT_EQ(cell(m, 0, 5, 3, OPENMPT_MODULE_COMMAND_PARAMETER), "37");
    EXPECT_EQ(cell(m, 0, 31, 2, OPENMPT_MODULE_COMMAND_NOTE), "==="); // key off
    EXPECT_EQ(cell(m, 1, 7, 1, OPENMPT_MODULE_COMMAND_NOTE), "B-1");
    EXPECT_EQ(cell(m, 1, 7, 1, OPENMPT_MODULE_COMMAND_VOLUME), "40"); // clamped to 64
    EXPECT_EQ(cell(m, 1, 7, 1, OPENMPT_MODULE_COMMAND_PARAMETER), "FF");
    EXPECT_EQ(cell(m, 1, 0, 0, OPENMPT_MODULE_COMMAND_NOTE), "...");
    EXPECT_EQ(cell(m, 1, 6, 2, OPENMPT_MODULE_COMMAND_VOLUMEEFFECT) +
                  cell(m, 1, 6, 2, OPENMPT_MODULE_COMMAND_VOLUME),
              "d03"); // volume slide down by 3
    EXPECT_EQ(cell(m, 1, 6, 2, OPENMPT_MODULE_COMMAND_EFFECT) +
                  cell(m, 1, 6, 2, OPENMPT_MODULE_COMMAND_PARAMETER),
              "EC3"); // note cut at tick 3
    openmpt_module_destroy(m);
}

TEST(XmWriter, RefusesWhatTheFormatCannotHold) {
    auto base = [] {
        xm::Module m;
        m.channels = 2;
        m.orders = {0};
        m.patterns.emplace_back(64, 2);
        m.instruments.emplace_back();
        m.instruments[0].sample.data.assign(100, 0);
        return m;
    };
    EXPECT_FALSE(xm::write(base()).empty());

    xm::Module m = base();
    m.channels = 33;
    m.patterns[0] = xm::Pattern(64, 33);
    EXPECT_TRUE(xm::write(m).empty()) << "33 channels";
    m = base();
    m.orders = {};
    EXPECT_TRUE(xm::write(m).empty()) << "no orders";
    m = base();
    m.orders = {1};
    EXPECT_TRUE(xm::write(m).empty()) << "order of a missing pattern";
    m = base();
    m.restart = 1;
    EXPECT_TRUE(xm::write(m).empty()) << "restart past the last order";
    m = base();
    m.patterns[0] = xm::Pattern(257, 2);
    EXPECT_TRUE(xm::write(m).empty()) << "257 rows";
    m = base();
    m.patterns[0].cells.pop_back();
    EXPECT_TRUE(xm::write(m).empty()) << "cells missing";
    m = base();
    for (std::uint16_t t = 0; t < 13; ++t)
        m.instruments[0].volume.points.push_back({t, 10});
    EXPECT_TRUE(xm::write(m).empty()) << "13 envelope points";
    m = base();
    m.instruments[0].volume.points = {{5, 10}, {5, 20}};
    EXPECT_TRUE(xm::write(m).empty()) << "envelope ticks not increasing";
    m = base();
    m.instruments[0].sample.loop_start = 90;
    m.instruments[0].sample.loop_length = 11;
    EXPECT_TRUE(xm::write(m).empty()) << "loop past the data";
}

TEST(XmWriter, NoteNames) {
    EXPECT_EQ(xm::note("C-0"), 1);
    EXPECT_EQ(xm::note("C-4"), 49);
    EXPECT_EQ(xm::note("A-4"), 58);
    EXPECT_EQ(xm::note("B-7"), 96);
    for (const char *bad : {"", "C-8", "H-4", "C#", "c-4", "C-44", "E#4"})
        EXPECT_EQ(xm::note(bad), 0) << bad;
    EXPECT_EQ(xm::note(nullptr), 0);
}

} // namespace
