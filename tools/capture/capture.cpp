// The capture itself: the timeline drawn frame by frame on the chosen clock, with its soundtrack.
#include "tools/capture/capture.h"
#include "demo/demo.h"
#include "demo/media.h"
#include "tools/capture/encoder.h"
#include "tools/capture/partial_file.h"
#include "tools/capture/progress.h"
#include "tools/capture/soundtrack.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace capture {

namespace {

// The clock the timeline reads while a frame is drawn.
unsigned drawn_time = 0;
unsigned read_frame_time() {
    return drawn_time;
}

int failure(const std::string &message) {
    demo::time_source = nullptr;
    std::fprintf(stderr, "%s\n", message.c_str());
    remove_partial_file();
    return 1;
}

// Renders count samples of the soundtrack and hands them to the encoder.
bool add_sound(soundtrack &music, encoder &out, std::vector<float> &left, std::vector<float> &right,
               int count, std::string &error) {
    music.render(sample_rate, left.data(), right.data(), count);
    return out.add_audio(left.data(), right.data(), count, error);
}

// Where the media are read from: data/ in the current directory when there is
// one (a build folder), else the installed show's, found from this program's
// own place.
void enter_media_directory() {
    struct stat info;
    if (stat("data", &info) == 0 && S_ISDIR(info.st_mode))
        return;
#ifdef VORBO_MEDIA_FROM_PROGRAM
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return;
    self[n] = '\0';
    std::string installed(self);
    installed.erase(installed.rfind('/') + 1);
    installed += VORBO_MEDIA_FROM_PROGRAM;
    if (stat((installed + "/data").c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return;
    // Where it cannot be entered, the loaders report the media they miss.
    if (chdir(installed.c_str()) != 0)
        return;
#endif
}

bool is_directory(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The output's name from the directory the user is in, whichever directory
// the media are then read from.
bool absolute_name(const std::string &output, std::string &path, std::string &error) {
    path = output;
    if (path[0] == '/')
        return true;
    char here[4096];
    if (!getcwd(here, sizeof here)) {
        error = "vorbo-capture: cannot tell the current directory: " +
                std::string(std::strerror(errno));
        return false;
    }
    path = std::string(here) + "/" + path;
    return true;
}

// The encoder for opt's codec and rate, writing to written until it is
// renamed to output.
bool open_encoder(encoder &out, const std::string &output, const std::string &written,
                  const options &opt, std::string &error) {
    if (!out.open(output, written, opt.video, opt.fps, demo::demoname, error))
        return false;
    if (opt.video == codec::h264 && std::strcmp(out.video_encoder_name(), "libx264") != 0)
        std::fprintf(stderr, "vorbo-capture: this FFmpeg has no libx264; encoding with %s\n",
                     out.video_encoder_name());
    return true;
}

// Every frame of the show at fps frames per second on the chosen clock, and
// exactly 59 s of its soundtrack, handed to the encoder.
bool capture_show(soundtrack &music, encoder &out, int fps, frame_clock clock, std::string &error) {
    const long long frames = static_cast<long long>(show_seconds) * fps;
    const int chunk = out.audio_frame_samples();
    std::vector<float> left(chunk), right(chunk);
    long long samples_done = 0;
    progress_bar progress(frames);
    demo::time_source = read_frame_time;
    for (long long k = 0; k < frames; ++k) {
        drawn_time = frame_time(k, fps, clock);
        if (demo::do_frame() != 0) {
            error = "vorbo-capture: the show ended early, at second " +
                    std::to_string(drawn_time >> 20);
            return false;
        }
        if (!out.add_video(demo::frame, error))
            return false;
        // Sound in whole encoder frames up to the end of this frame's span.
        const long long samples_due = (k + 1) * sample_rate / fps;
        for (; samples_done + chunk <= samples_due; samples_done += chunk)
            if (!add_sound(music, out, left, right, chunk, error))
                return false;
        progress.update(k + 1);
    }
    demo::time_source = nullptr;
    // The remainder after the last picture: exactly 59 s of samples in all.
    const long long samples_total = frames * sample_rate / fps;
    return samples_done >= samples_total ||
           add_sound(music, out, left, right, static_cast<int>(samples_total - samples_done),
                     error);
}

} // namespace

int run(const options &opt) {
    // Messages name the output as given.
    const std::string output = opt.output.empty() ? default_output(opt.video) : opt.output;
    std::string path, error;
    if (!absolute_name(output, path, error))
        return failure(error);
    enter_media_directory();
    if (is_directory(path))
        return failure("vorbo-capture: cannot write " + output + ": Is a directory");

    // The same order as the programs: soundtrack, frame buffer, media. A
    // missing picture ends the process inside do_init, before any output exists.
    soundtrack music;
    if (!music.load(demo::soundtrack_file, error))
        return failure(error);
    demo::nogfx = true;
    demo::nosound = true;
    if (!demo::gfxinit(demo::frame_width, demo::frame_height))
        return 1;
    demo::do_init();

    // Beside the final name, so the closing rename stays on one file system.
    const std::string written = path + "." + std::to_string(getpid()) + ".part";
    if (!guard_partial_file(written))
        return failure("vorbo-capture: cannot write " + output + ": File name too long");
    encoder out;
    if (!open_encoder(out, output, written, opt, error) ||
        !capture_show(music, out, opt.fps, opt.clock, error) || !out.finish(error))
        return failure(error);
    if (std::rename(written.c_str(), path.c_str()) != 0)
        return failure("vorbo-capture: cannot write " + output + ": " + std::strerror(errno));
    keep_partial_file();
    return 0;
}

} // namespace capture
