// The capture's progress bar: redrawn in place on a terminal, a line a tenth into a file or pipe.
#include "tools/capture/progress.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace capture {

namespace {

std::string clock_text(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

} // namespace

progress_bar::progress_bar(long long total)
    : total_(total), start_(std::chrono::steady_clock::now()), terminal_(isatty(2)) {}

void progress_bar::update(long long done) {
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

} // namespace capture
