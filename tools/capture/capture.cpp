// The capture itself: the timeline drawn frame by frame on a stepped clock, with its soundtrack.
#include "tools/capture/capture.h"
#include "demo/demo.h"
#include "demo/media.h"
#include "tools/capture/encoder.h"
#include "tools/capture/soundtrack.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace capture {

namespace {

// The clock the timeline reads while a frame is drawn.
unsigned frame_time = 0;
unsigned read_frame_time() {
    return frame_time;
}

// The file being written, removed by every way out except success, including
// a signal and an exit() called from inside the timeline. A fixed buffer,
// because the signal handler may not touch the heap.
char partial[4096] = "";

void remove_partial() {
    if (partial[0])
        unlink(partial);
}

extern "C" void on_signal(int number) {
    remove_partial();
    std::signal(number, SIG_DFL);
    std::raise(number);
}

bool guard_partial(const std::string &name) {
    if (name.size() >= sizeof partial)
        return false;
    static bool installed = false;
    if (!installed) {
        installed = true;
        std::atexit(remove_partial);
        for (int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            std::signal(number, on_signal);
    }
    std::memcpy(partial, name.c_str(), name.size() + 1);
    return true;
}

void release_partial() {
    partial[0] = '\0';
}

std::string clock_text(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// "Capturing [#####.....] 1234/3540 frames, 0:42 left" on standard error.
// On a terminal it is redrawn in place a few times a second; into a file or
// pipe it is written as a plain line at every tenth of the way.
class progress_bar {
  public:
    explicit progress_bar(long long total)
        : total_(total), start_(std::chrono::steady_clock::now()), terminal_(isatty(2)) {}

    void update(long long done) {
        const auto now = std::chrono::steady_clock::now();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const bool last = done == total_;
        if (terminal_) {
            if (!last && now - shown_ < std::chrono::milliseconds(200))
                return;
        } else {
            const long long tenth = done * 10 / total_;
            if (tenth == tenth_shown_)
                return;
            tenth_shown_ = tenth;
        }
        shown_ = now;
        constexpr int width = 30;
        const int filled = static_cast<int>(done * width / total_);
        std::string bar(filled, '#');
        bar.append(width - filled, '.');
        const std::string tail =
            last ? "done in " + clock_text(elapsed)
                 : clock_text(done ? elapsed * (total_ - done) / done : 0) + " left";
        // On a terminal the rest of the line is erased, in case the previous
        // text was longer.
        std::fprintf(stderr, "%sCapturing [%s] %lld/%lld frames, %s%s%s", terminal_ ? "\r" : "",
                     bar.c_str(), done, total_, tail.c_str(), terminal_ ? "\033[K" : "",
                     terminal_ && !last ? "" : "\n");
        std::fflush(stderr);
    }

  private:
    long long total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point shown_{};
    bool terminal_;
    long long tenth_shown_ = 0;
};

int failure(const std::string &message) {
    demo::time_source = nullptr;
    std::fprintf(stderr, "%s\n", message.c_str());
    remove_partial();
    release_partial();
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

} // namespace

int run(const options &opt) {
    // The output is named from the directory the user is in, whichever
    // directory the media are then read from; messages name it as given.
    const std::string output = opt.output.empty() ? default_output(opt.video) : opt.output;
    std::string path = output;
    if (path[0] != '/') {
        char here[4096];
        if (!getcwd(here, sizeof here))
            return failure("vorbo-capture: cannot tell the current directory: " +
                           std::string(std::strerror(errno)));
        path = std::string(here) + "/" + path;
    }
    enter_media_directory();
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return failure("vorbo-capture: cannot write " + output + ": Is a directory");

    // The same order as the programs: soundtrack, frame buffer, media. A
    // missing picture ends the process inside do_init, before any output exists.
    std::string error;
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
    if (!guard_partial(written))
        return failure("vorbo-capture: cannot write " + output + ": File name too long");
    encoder out;
    if (!out.open(output, written, opt.video, opt.fps, demo::demoname, error))
        return failure(error);
    if (opt.video == codec::h264 && std::strcmp(out.video_encoder_name(), "libx264") != 0)
        std::fprintf(stderr, "vorbo-capture: this FFmpeg has no libx264; encoding with %s\n",
                     out.video_encoder_name());

    const long long frames = static_cast<long long>(show_seconds) * opt.fps;
    const int chunk = out.audio_frame_samples();
    std::vector<float> left(chunk), right(chunk);
    long long samples_done = 0;
    progress_bar progress(frames);
    demo::time_source = read_frame_time;
    for (long long k = 0; k < frames; ++k) {
        frame_time = packed_time(k, opt.fps);
        if (demo::do_frame() != 0)
            return failure("vorbo-capture: the show ended early, at second " +
                           std::to_string(frame_time >> 20));
        if (!out.add_video(demo::frame, error))
            return failure(error);
        // Sound in whole encoder frames up to the end of this frame's span.
        const long long samples_due = (k + 1) * sample_rate / opt.fps;
        for (; samples_done + chunk <= samples_due; samples_done += chunk)
            if (!add_sound(music, out, left, right, chunk, error))
                return failure(error);
        progress.update(k + 1);
    }
    demo::time_source = nullptr;
    // The remainder after the last picture: exactly 59 s of samples in all.
    const long long samples_total = frames * sample_rate / opt.fps;
    if (samples_done < samples_total &&
        !add_sound(music, out, left, right, static_cast<int>(samples_total - samples_done), error))
        return failure(error);

    if (!out.finish(error))
        return failure(error);
    if (std::rename(written.c_str(), path.c_str()) != 0)
        return failure("vorbo-capture: cannot write " + output + ": " + std::strerror(errno));
    release_partial();
    return 0;
}

} // namespace capture
