// The music as a stream of samples: libopenmpt's render with its fades, and the stream's position
// log.
#include "sound/player.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sound {

void position_log::mark(std::int64_t first, double seconds, bool advancing) {
    // A later mark at the same sample replaces the one before (pause and go on
    // again before a sample was written).
    while (!marks_.empty() && marks_.back().first >= first)
        marks_.pop_back();
    marks_.push_back({first, seconds, advancing});
}

bool position_log::seconds_at(double sample, double &seconds) const {
    auto after = std::upper_bound(
        marks_.begin(), marks_.end(), sample,
        [](double s, const position_mark &m) { return s < static_cast<double>(m.first); });
    if (after == marks_.begin())
        return false;
    const position_mark &m = *(after - 1);
    seconds = m.seconds;
    if (m.advancing)
        seconds += (sample - static_cast<double>(m.first)) / rate_;
    return true;
}

namespace {

// A module player that jumps by more than this between two reads has jumped
// (a repeat, a position command); less is its own rounding of row times.
constexpr double jump_seconds = 0.05;
// A seek lands on the start of the row it falls in. Where that start is this
// close below the place asked for, the row begins there by design (the song
// turns on whole seconds) and only the player's rounding of ticks to samples
// moved it: the place asked for is the position.
constexpr double seek_rounding_seconds = 0.005;
// At most this many frames are rendered in one read, so that a jump is placed
// within this many frames of where it happens.
constexpr std::size_t read_frames = 256;

} // namespace

player::player(int rate) : rate_(rate), fade_frames_(std::max(1, rate / 200)), log_(rate) {}

void player::render_module(std::int16_t *out, std::size_t frames, std::int64_t stream_first) {
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t want = std::min(read_frames, frames - done);
        std::size_t got =
            openmpt_module_read_interleaved_stereo(module_, rate_, want, out + 2 * done);
        if (got == 0) // only an internal fault ends a module that repeats forever
            break;
        for (std::size_t i = 0; i < got && fade_in_left_ > 0; ++i, --fade_in_left_) {
            const double gain = 1.0 - static_cast<double>(fade_in_left_) / fade_frames_;
            for (int c = 0; c < 2; ++c) {
                std::int16_t &v = out[2 * (done + i) + c];
                v = static_cast<std::int16_t>(std::lround(v * gain));
            }
        }
        done += got;
        position_ += static_cast<double>(got) / rate_;
        const double reported = openmpt_module_get_position_seconds(module_);
        if (std::fabs(reported - position_) > jump_seconds) {
            position_ = reported;
            log_.mark(stream_first + static_cast<std::int64_t>(done), position_, true);
        }
    }
    std::memset(out + 2 * done, 0, (frames - done) * 4);
}

std::int64_t player::next_stream_frame() const {
    return written_ + static_cast<std::int64_t>((pending_.size() - pending_read_) / 2);
}

void player::render(std::int16_t *out, std::size_t frames) {
    std::size_t done = 0;
    if (pending_read_ < pending_.size()) {
        const std::size_t values = std::min(frames * 2, pending_.size() - pending_read_);
        std::memcpy(out, pending_.data() + pending_read_, values * 2);
        pending_read_ += values;
        done = values / 2;
        if (pending_read_ == pending_.size()) {
            pending_.clear();
            pending_read_ = 0;
        }
    }
    if (done < frames) {
        if (module_ && !paused_)
            render_module(out + 2 * done, frames - done,
                          written_ + static_cast<std::int64_t>(done));
        else
            std::memset(out + 2 * done, 0, (frames - done) * 4);
    }
    written_ += static_cast<std::int64_t>(frames);
}

void player::fade_out_now() {
    if (!module_ || paused_)
        return;
    // From the gain the fade-in has reached (1 when there is none) down to 0.
    const double from = 1.0 - static_cast<double>(fade_in_left_) / fade_frames_;
    fade_in_left_ = 0;
    const std::size_t start = pending_.size();
    pending_.resize(start + 2 * static_cast<std::size_t>(fade_frames_));
    render_module(pending_.data() + start, fade_frames_, next_stream_frame() - fade_frames_);
    for (int i = 0; i < fade_frames_; ++i) {
        const double gain = from * (1.0 - static_cast<double>(i + 1) / fade_frames_);
        for (int c = 0; c < 2; ++c) {
            std::int16_t &v = pending_[start + 2 * static_cast<std::size_t>(i) + c];
            v = static_cast<std::int16_t>(std::lround(v * gain));
        }
    }
}

void player::play(openmpt_module *module) {
    fade_out_now();
    paused_ = false;
    ever_played_ = true;
    module_ = module;
    position_ = 0;
    fade_in_left_ = 0; // a module begins from silence by itself
    openmpt_module_set_position_seconds(module_, 0.0);
    log_.mark(next_stream_frame(), 0.0, true);
}

void player::stop(openmpt_module *module) {
    if (!module || module != module_)
        return;
    fade_out_now();
    module_ = nullptr;
    log_.mark(next_stream_frame(), position_, false);
}

void player::set_paused(bool paused) {
    if (paused == paused_)
        return;
    if (paused) {
        fade_out_now();
        paused_ = true;
        if (module_)
            log_.mark(next_stream_frame(), position_, false);
    } else {
        paused_ = false;
        if (module_) {
            fade_in_left_ = fade_frames_;
            log_.mark(next_stream_frame(), position_, true);
        }
    }
}

double player::seek(double seconds) {
    if (!module_)
        return -1;
    fade_out_now();
    const double reached = openmpt_module_set_position_seconds(module_, std::max(0.0, seconds));
    position_ = reached < seconds && seconds - reached < seek_rounding_seconds ? seconds : reached;
    log_.mark(next_stream_frame(), position_, !paused_);
    if (!paused_)
        fade_in_left_ = fade_frames_;
    return position_;
}

} // namespace sound
