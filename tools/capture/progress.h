// The capture's progress bar on standard error.
#pragma once

#include <chrono>

namespace capture {

// "Capturing [#####.....] 1234/3540 frames, 0:42 left" on standard error.
// On a terminal it is redrawn in place a few times a second; into a file or
// pipe it is written as a plain line at every tenth of the way.
class progress_bar {
  public:
    explicit progress_bar(long long total);

    // done of the total frames are captured; the last call (done == total)
    // ends the line with the time the whole capture took.
    void update(long long done);

  private:
    long long total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point shown_{};
    bool terminal_;
    long long tenth_shown_ = 0;
};

} // namespace capture
