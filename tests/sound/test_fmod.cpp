// Tests of the sound library through SDL's disk and dummy drivers: output, failures, call order.
#include "sound/fmod.h"
#include "tests/sound/sound_test_support.h"
#include "tools/xmgen/synth.h"
#include "tools/xmgen/xm_writer.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace sound_test;

// The disk driver's output: 16-bit samples in the machine's order.
std::vector<std::int16_t> read_pcm(const std::string &path) {
    const std::vector<std::uint8_t> raw = read_file(path);
    std::vector<std::int16_t> pcm(raw.size() / 2);
    std::copy(raw.begin(), raw.begin() + pcm.size() * 2,
              reinterpret_cast<std::uint8_t *>(pcm.data()));
    return pcm;
}

void sleep_ms(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Index of the first nonzero value at or after `from`, or the size.
std::size_t first_sound(const std::vector<std::int16_t> &pcm, std::size_t from = 0) {
    while (from < pcm.size() && pcm[from] == 0)
        ++from;
    return from;
}

double rms(const std::int16_t *v, std::size_t n) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += double(v[i]) * v[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

// Each test picks the driver it needs; the library must be closed between tests.
class Sound : public testing::Test {
  protected:
    void use_driver(const char *driver, const std::string &file = "") {
        setenv("SDL_AUDIODRIVER", driver, 1);
        if (!file.empty())
            setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    }
    void TearDown() override {
        FSOUND_Close();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
    }
};

// A one-pattern module of a third of a second: a square tone held from row 0.
std::vector<std::uint8_t> short_loop_module() {
    xm::Module m;
    m.channels = 2;
    m.speed = 2;
    m.tempo = 250; // 10 ms ticks, 16 rows of 20 ms
    m.orders = {0};
    m.patterns.emplace_back(16, 2);
    xm::Cell &c = m.patterns[0].at(0, 0, 2);
    c.note = xm::note("A-4");
    c.instrument = 1;
    xm::Instrument ins;
    ins.name = "square";
    for (int i = 0; i < 64; ++i)
        ins.sample.data.push_back(i < 32 ? 12000 : -12000);
    ins.sample.loop_length = 64;
    xmgen::tune(ins.sample, 261.6255653005986 * 64);
    m.instruments.push_back(ins);
    return xm::write(m);
}

TEST_F(Sound, DiskDriverGetsTheModuleAsLibopenmptRendersIt) {
    const std::string out = temp_path("disk.raw");
    use_driver("disk", out);
    ASSERT_EQ(FSOUND_Init(44100, 32, 2), 1);
    FMUSIC_MODULE *mod = FMUSIC_LoadSong(module_path.c_str());
    ASSERT_NE(mod, nullptr);
    ASSERT_EQ(FMUSIC_PlaySong(mod), 1);
    sleep_ms(1600);
    EXPECT_EQ(FMUSIC_FreeSong(mod), 1);
    FSOUND_Close();

    std::vector<std::int16_t> pcm = read_pcm(out);
    std::remove(out.c_str());
    // The disk driver paces itself like a sound card: about 1.6 s of
    // 44.1 kHz 16-bit stereo, give or take a slow machine.
    ASSERT_GE(pcm.size(), std::size_t(44100 * 2 * 11 / 10));
    ASSERT_LE(pcm.size(), std::size_t(44100 * 2 * 3));

    // The reference: libopenmpt's own render at the same rate.
    openmpt_module *ref = open_module(read_file(module_path));
    ASSERT_NE(ref, nullptr);
    std::vector<std::int16_t> want(44100 * 2 * 2);
    ASSERT_EQ(openmpt_module_read_interleaved_stereo(ref, 44100, want.size() / 2, want.data()),
              want.size() / 2);
    openmpt_module_destroy(ref);

    // The output starts with silence until play; align the first sound of both.
    std::size_t got0 = first_sound(pcm) & ~std::size_t(1),
                want0 = first_sound(want) & ~std::size_t(1);
    ASSERT_LT(want0, std::size_t(44100)); // the piece starts within half a second
    ASSERT_GE(pcm.size() - got0, std::size_t(44100 * 2)) << "less than a second of music written";
    const std::size_t n = 44100 * 2; // one second of interleaved stereo
    int max_diff = 0;
    bool stereo = false;
    for (std::size_t i = 0; i < n; ++i) {
        max_diff = std::max(max_diff, std::abs(int(pcm[got0 + i]) - int(want[want0 + i])));
        if (i % 2 == 0 && pcm[got0 + i] != pcm[got0 + i + 1])
            stereo = true;
    }
    EXPECT_LE(max_diff, 2) << "first second differs from libopenmpt's render";
    EXPECT_TRUE(stereo) << "left and right are the same signal";
    EXPECT_GT(rms(pcm.data() + got0, n), 300.0);
}

TEST_F(Sound, ModuleRepeatsUntilFreedThenOutputFallsSilent) {
    const std::string xm_file = temp_path("loop.xm"), out = temp_path("loop.raw");
    write_file(xm_file, short_loop_module());
    use_driver("disk", out);
    ASSERT_EQ(FSOUND_Init(44100, 32, 2), 1);
    FMUSIC_MODULE *mod = FMUSIC_LoadSong(xm_file.c_str());
    ASSERT_NE(mod, nullptr);
    ASSERT_EQ(FMUSIC_PlaySong(mod), 1);
    sleep_ms(1200); // over three times the module's length
    EXPECT_EQ(FMUSIC_FreeSong(mod), 1);
    sleep_ms(400);
    FSOUND_Close();
    std::vector<std::int16_t> pcm = read_pcm(out);
    std::remove(xm_file.c_str());
    std::remove(out.c_str());

    std::size_t start = first_sound(pcm);
    ASSERT_LT(start, pcm.size());
    // 0.9 s of sound after the start, in 50 ms windows: the tone went on past
    // the module's end at 0.32 s.
    const std::size_t window = 4410;
    ASSERT_GE(pcm.size(), start + 18 * window + 4410 * 2);
    for (std::size_t w = 0; w < 18; ++w)
        EXPECT_GT(rms(pcm.data() + start + w * window, window), 1000.0) << "window " << w;
    // After the free the callback writes zeros only.
    EXPECT_EQ(rms(pcm.data() + pcm.size() - 4410, 4410), 0.0);
}

TEST_F(Sound, SplitOffProcessLeavesTheOutputToTheProcessThatOpenedIt) {
    // The full-screen presenter splits the process after the soundtrack has
    // started. The new process's shutdown must neither hang on the audio
    // lock nor join a thread it does not have, and the music plays on.
    const std::string xm_file = temp_path("fork.xm"), out = temp_path("fork.raw");
    write_file(xm_file, short_loop_module());
    use_driver("disk", out);
    ASSERT_EQ(FSOUND_Init(44100, 32, 2), 1);
    FMUSIC_MODULE *mod = FMUSIC_LoadSong(xm_file.c_str());
    ASSERT_NE(mod, nullptr);
    ASSERT_EQ(FMUSIC_PlaySong(mod), 1);
    pid_t child = fork();
    if (child == 0) {
        alarm(5); // a hang ends the child with a signal instead of passing
        FMUSIC_FreeSong(mod);
        FSOUND_Close();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    sleep_ms(600);
    EXPECT_EQ(FMUSIC_FreeSong(mod), 1);
    FSOUND_Close();
    std::vector<std::int16_t> pcm = read_pcm(out);
    std::remove(xm_file.c_str());
    std::remove(out.c_str());
    std::size_t start = first_sound(pcm);
    ASSERT_LT(start + 4410 * 4, pcm.size());
    EXPECT_GT(rms(pcm.data() + start + 4410 * 2, 4410), 1000.0);
}

TEST_F(Sound, XmTuningPlaysTheNamedPitch) {
    // The looping square of short_loop_module is tuned so that A-4 is 440 Hz:
    // count its rising zero crossings in a second of libopenmpt's render.
    openmpt_module *m = open_module(short_loop_module());
    ASSERT_NE(m, nullptr);
    openmpt_module_set_repeat_count(m, -1);
    std::vector<std::int16_t> v(44100 * 2);
    openmpt_module_read_interleaved_stereo(m, 44100, 44100, v.data());
    openmpt_module_destroy(m);
    int crossings = 0;
    for (std::size_t i = 2; i < v.size(); i += 2)
        crossings += v[i - 2] < 0 && v[i] >= 0;
    EXPECT_NEAR(crossings, 440, 3);
}

TEST_F(Sound, InitFailsWithAnUnusableDriverOrRate) {
    use_driver("nonexistent");
    EXPECT_EQ(FSOUND_Init(44100, 32, 2), 0);
    FMUSIC_MODULE *mod = FMUSIC_LoadSong(module_path.c_str());
    ASSERT_NE(mod, nullptr); // loading needs no output
    EXPECT_EQ(FMUSIC_PlaySong(mod), 0);
    EXPECT_EQ(FMUSIC_FreeSong(mod), 1);

    use_driver("dummy");
    EXPECT_EQ(FSOUND_Init(0, 32, 2), 0);
    EXPECT_EQ(FSOUND_Init(-44100, 32, 2), 0);
    EXPECT_EQ(FSOUND_Init(1000000, 32, 2), 0);
    ASSERT_EQ(FSOUND_Init(44100, 32, 2), 1);
    EXPECT_EQ(FSOUND_Init(44100, 32, 2), 0) << "second init while open";
    FSOUND_Close();
    FSOUND_Close();
    EXPECT_EQ(FSOUND_Init(22050, 32, 2), 1) << "reopening after close";
}

TEST_F(Sound, LoadRefusesMissingEmptyAndGarbageFiles) {
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong("/nonexistent/dir/test.xm"), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(testing::TempDir().c_str()), nullptr) << "a directory";

    const std::string path = temp_path("garbage.xm");
    write_file(path, {});
    EXPECT_EQ(FMUSIC_LoadSong(path.c_str()), nullptr) << "empty file";

    std::mt19937 rng(1234);
    for (std::size_t size : {1, 17, 60, 336, 4096, 100000}) {
        std::vector<std::uint8_t> bytes(size);
        for (auto &b : bytes)
            b = std::uint8_t(rng());
        write_file(path, bytes);
        EXPECT_EQ(FMUSIC_LoadSong(path.c_str()), nullptr) << size << " random bytes";
    }
    // An XM header with nothing after it.
    const std::vector<std::uint8_t> module = read_file(module_path);
    ASSERT_GE(module.size(), 60u);
    write_file(path, std::vector<std::uint8_t>(module.begin(), module.begin() + 60));
    EXPECT_EQ(FMUSIC_LoadSong(path.c_str()), nullptr) << "header only";
    std::remove(path.c_str());
}

TEST_F(Sound, OutOfOrderCallsDoNothing) {
    EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
    EXPECT_EQ(FMUSIC_FreeSong(nullptr), 0);
    FSOUND_Close(); // never opened

    FMUSIC_MODULE *mod = FMUSIC_LoadSong(module_path.c_str());
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(FMUSIC_PlaySong(mod), 0) << "play before init";

    use_driver("dummy");
    ASSERT_EQ(FSOUND_Init(44100, 32, 2), 1);
    EXPECT_EQ(FMUSIC_PlaySong(mod), 1);
    EXPECT_EQ(FMUSIC_PlaySong(mod), 1) << "restart while playing";
    FSOUND_Close(); // close while the module plays; the module stays loaded
    EXPECT_EQ(FMUSIC_PlaySong(mod), 0) << "play after close";
    EXPECT_EQ(FMUSIC_FreeSong(mod), 1);
    EXPECT_EQ(FMUSIC_FreeSong(mod), 0) << "second free of the same handle";
    EXPECT_EQ(FMUSIC_PlaySong(mod), 0) << "play of a freed handle";
    int not_a_module = 0;
    EXPECT_EQ(FMUSIC_FreeSong(reinterpret_cast<FMUSIC_MODULE *>(&not_a_module)), 0);
}

TEST_F(Sound, OpeningTheOutputKeepsTheInterruptHandlers) {
    // Ctrl-C and kill must still end the program while the music plays.
    struct sigaction before_int, before_term, after_int, after_term;
    sigaction(SIGINT, nullptr, &before_int);
    sigaction(SIGTERM, nullptr, &before_term);
    use_driver("dummy");
    ASSERT_EQ(FSOUND_Init(44100, 32, 2), 1);
    sigaction(SIGINT, nullptr, &after_int);
    sigaction(SIGTERM, nullptr, &after_term);
    EXPECT_EQ(after_int.sa_handler, before_int.sa_handler);
    EXPECT_EQ(after_term.sa_handler, before_term.sa_handler);
}

} // namespace
