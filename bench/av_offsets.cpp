// The lip-sync measurement's judgement: each cut's offset of the music against the picture, and the
// recording's gaps and ending.
//
// vorbo-av-sync offsets PCM_FILE TIMES_FILE WATCH_LOG MODULE
//
// The music's cut at second c is the module's sample at c seconds as
// libopenmpt renders it (the sections are written to begin there): it is
// found in the recording by matching 100 ms of the render around it, sample
// for sample, and its moment is when the recorder's reads around it say the
// sink rendered it, plus the sink's latency as the server reports it. The picture's cut is the
// middle of the two grabs around the scene's first showing. Offset = music - picture: positive when
// the music turns late. Then: stretches of digital silence inside the music that the module does
// not have (dropouts), and the ending: the level of the last 300 ms before the sound stops against
// the show's mean level, and the peak of its last 2 ms (a sound cut mid-wave clicks at full level).
#include "bench/av_sync.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

namespace av_sync {

namespace {

constexpr int rate = 44100;
constexpr int cuts[] = {6, 9, 14, 21, 28, 34, 44, 49};

std::vector<std::int16_t> read_pcm(const char *path) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> pcm(bytes.size() / 4 * 2);
    std::copy(bytes.begin(), bytes.begin() + pcm.size() * 2, reinterpret_cast<char *>(pcm.data()));
    return pcm;
}

std::vector<std::int16_t> render_module(const char *path, int seconds) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    openmpt_module *module = openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, nullptr, nullptr, nullptr);
    std::vector<std::int16_t> out(static_cast<std::size_t>(seconds) * rate * 2);
    if (!module)
        return {};
    openmpt_module_set_repeat_count(module, -1);
    for (std::size_t done = 0; done < out.size() / 2;) {
        const std::size_t n = openmpt_module_read_interleaved_stereo(
            module, rate, std::min<std::size_t>(4096, out.size() / 2 - done),
            out.data() + 2 * done);
        if (n == 0)
            break;
        done += n;
    }
    openmpt_module_destroy(module);
    return out;
}

struct read_time {
    long long frames;       // recorded so far
    std::int64_t ns;        // when the read returned
    long long sink_latency; // microseconds the sink plays its samples after rendering them
};

// The moment recording frame s left the sink. A read returns a little after
// its last frame was rendered, never before: the earliest of the reads within
// half a second, carried to s at the sink's rate, is the closest estimate of
// when it was rendered; the median's distance from it is the recorder's own
// scatter there. The sink plays it its reported latency later.
bool moment_of(const std::vector<read_time> &reads, double s, double &ns, double &spread) {
    std::vector<double> estimates, latencies;
    for (const read_time &r : reads)
        if (std::fabs(static_cast<double>(r.frames) - s) < rate / 2.0) {
            estimates.push_back(static_cast<double>(r.ns) -
                                (static_cast<double>(r.frames) - s) * 1e9 / rate);
            if (r.sink_latency >= 0)
                latencies.push_back(static_cast<double>(r.sink_latency) * 1e3);
        }
    if (estimates.empty())
        return false;
    std::sort(estimates.begin(), estimates.end());
    std::sort(latencies.begin(), latencies.end());
    ns = estimates.front() + (latencies.empty() ? 0.0 : latencies[latencies.size() / 2]);
    spread = estimates[estimates.size() / 2] - estimates.front();
    if (!latencies.empty())
        spread += latencies[latencies.size() * 9 / 10] - latencies[latencies.size() / 10];
    return true;
}

// The recording frame that holds module frame `at`, searched within `window`
// frames of `expected`: 100 ms around it must match the render to within the
// rounding of a mix (2).
long long find_in_recording(const std::vector<std::int16_t> &recording,
                            const std::vector<std::int16_t> &music, long long at,
                            long long expected, long long window) {
    const long long half = rate / 20;
    const long long frames = static_cast<long long>(recording.size() / 2);
    for (long long d = 0; d <= window; ++d) {
        for (long long j : {expected + d, expected - d}) {
            if (j - half < 0 || j + half > frames || (d == 0 && j != expected + d))
                continue;
            bool same = true;
            for (long long k = -half; k < half && same; ++k)
                for (int c = 0; c < 2 && same; ++c)
                    same = std::abs(recording[2 * (j + k) + c] - music[2 * (at + k) + c]) <= 2;
            if (same)
                return j;
        }
    }
    return -1;
}

double level_db(const std::vector<std::int16_t> &pcm, long long from, long long to) {
    double sum = 0;
    for (long long i = 2 * from; i < 2 * to; ++i)
        sum += static_cast<double>(pcm[i]) * pcm[i];
    const double mean = sum / std::max<long long>(1, 2 * (to - from));
    return 10 * std::log10(std::max(mean, 1e-3) / (32768.0 * 32768.0));
}

} // namespace

int offsets(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vorbo-av-sync offsets PCM_FILE TIMES_FILE WATCH_LOG MODULE\n");
        return 2;
    }
    const std::vector<std::int16_t> recording = read_pcm(argv[0]);
    const std::vector<std::int16_t> music = render_module(argv[3], 62);
    if (music.empty()) {
        std::fprintf(stderr, "vorbo-av-sync offsets: %s is not a module\n", argv[3]);
        return 1;
    }
    std::vector<read_time> reads;
    {
        std::ifstream f(argv[1]);
        long long frames, ns, latency;
        while (f >> frames >> ns >> latency)
            reads.push_back({frames, ns, latency});
    }
    std::map<int, std::int64_t> shown, before;
    std::int64_t longest_grab_gap = 0;
    {
        std::FILE *f = std::fopen(argv[2], "r");
        char line[256];
        while (f && std::fgets(line, sizeof line, f)) {
            int scene;
            long long last, when;
            if (std::sscanf(line, "%d %lld %lld", &scene, &last, &when) == 3) {
                if (!shown.count(scene)) {
                    shown[scene] = when;
                    before[scene] = last;
                }
            } else {
                long long grabs = 0, gap = 0;
                if (std::sscanf(line, "# grabs %lld longest_gap_ns %lld", &grabs, &gap) == 2)
                    longest_grab_gap = gap;
            }
        }
        if (f)
            std::fclose(f);
    }

    const long long frames = static_cast<long long>(recording.size() / 2);
    long long first_sound = 0;
    while (first_sound < frames && !recording[2 * first_sound] && !recording[2 * first_sound + 1])
        ++first_sound;
    long long music_first = 0;
    while (!music[2 * music_first] && !music[2 * music_first + 1])
        ++music_first;
    if (first_sound == frames) {
        std::printf("no sound recorded\n");
        return 1;
    }
    long long shift = first_sound - music_first; // recording frame = module frame + shift

    std::printf("%-6s %12s %12s %10s %12s %12s\n", "cut", "music_ms", "picture_ms", "offset_ms",
                "pic_res_ms", "audio_res_ms");
    double worst = 0, worst_resolution = 0;
    int measured = 0;
    std::vector<std::pair<long long, long long>> aligned; // (recording frame, shift) from each cut
    for (int cut : cuts) {
        const long long at = static_cast<long long>(cut) * rate;
        const long long found = find_in_recording(recording, music, at, at + shift, 6 * rate);
        double music_ns = 0, spread = 0;
        if (found < 0 || !moment_of(reads, static_cast<double>(found), music_ns, spread) ||
            !shown.count(cut)) {
            std::printf("%-6d %12s\n", cut, found < 0 ? "not found" : "no picture");
            continue;
        }
        shift = found - at;
        aligned.push_back({found, shift});
        const double picture_ns = (static_cast<double>(before[cut]) + shown[cut]) / 2;
        const double picture_resolution = static_cast<double>(shown[cut] - before[cut]) / 2;
        const double offset = (music_ns - picture_ns) / 1e6;
        std::printf("%-6d %12.1f %12.1f %+10.1f %12.1f %12.1f\n", cut, music_ns / 1e6,
                    picture_ns / 1e6, offset, picture_resolution / 1e6, spread / 1e6);
        worst = std::max(worst, std::fabs(offset));
        worst_resolution = std::max(worst_resolution, picture_resolution / 1e6 + spread / 1e6);
        ++measured;
    }
    std::printf("cuts measured %d of %zu, largest |offset| %.1f ms, resolution within %.1f ms "
                "(longest gap between screen grabs %.1f ms)\n",
                measured, std::size(cuts), worst, worst_resolution, longest_grab_gap / 1e6);

    // Dropouts: digital silence in the recording (both channels 0 for more
    // than 1 ms) where the module, aligned by the nearest cut before, sounds.
    long long last_sound = frames - 1;
    while (last_sound > 0 && !recording[2 * last_sound] && !recording[2 * last_sound + 1])
        --last_sound;
    double gap_ms = 0;
    int gaps = 0;
    for (long long i = first_sound; i <= last_sound;) {
        long long j = i;
        while (j <= last_sound && !recording[2 * j] && !recording[2 * j + 1])
            ++j;
        if (j - i > rate / 1000) {
            long long s = first_sound - music_first;
            for (const auto &[from, cut_shift] : aligned)
                if (from <= i)
                    s = cut_shift;
            bool module_sounds = false;
            for (long long k = i; k < j && !module_sounds; ++k) {
                const long long m = k - s;
                module_sounds = m >= 0 && 2 * m + 1 < static_cast<long long>(music.size()) &&
                                (std::abs(music[2 * m]) > 8 || std::abs(music[2 * m + 1]) > 8);
            }
            if (module_sounds) {
                ++gaps;
                gap_ms += (j - i) * 1000.0 / rate;
            }
        }
        i = j + 1;
    }
    std::printf("dropouts: %d, %.1f ms of digital silence inside the music\n", gaps, gap_ms);

    const long long tail = rate * 3 / 10;
    const double mean_db = level_db(recording, first_sound, last_sound);
    const double tail_db =
        level_db(recording, std::max(first_sound, last_sound - tail), last_sound);
    // A click is a sound cut mid-wave: full level up to the last sample. A
    // fade leaves the last 2 ms near silence.
    int last_peak = 0, peak = 0;
    for (long long i = first_sound; i <= last_sound; ++i)
        for (int c = 0; c < 2; ++c) {
            const int v = std::abs(static_cast<int>(recording[2 * i + c]));
            peak = std::max(peak, v);
            if (i > last_sound - rate / 500)
                last_peak = std::max(last_peak, v);
        }
    std::printf("ending: sound for %.2f s; last 300 ms at %.1f dB against the show's %.1f dB "
                "(%.1f dB below); peak of the last 2 ms %d (%.1f dB below the show's peak)\n",
                (last_sound - first_sound) / static_cast<double>(rate), tail_db, mean_db,
                mean_db - tail_db, last_peak,
                20 * std::log10(static_cast<double>(std::max(peak, 1)) / std::max(last_peak, 1)));
    return 0;
}

} // namespace av_sync
