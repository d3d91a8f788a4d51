// The music as a stream of samples: the playing module, its fades, pause and seek, and which stream
// sample holds which module position.
//
// An output (PulseAudio, SDL) pulls samples with render() and tells which
// stream sample is heard at a moment; the player answers which moment of the
// module that sample holds. Stream sample n is the n-th sample frame handed to
// the output since it opened: every call of render() hands over exactly the
// frames asked for, silence where nothing plays, so the stream's count and the
// output's never part. Nothing here locks: the output calls every member with
// its own lock held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct openmpt_module;

namespace sound {

// From stream sample `first` on, the stream holds the module from `seconds`,
// advancing one sample per sample while `advancing`, standing still (silence:
// paused, or nothing playing) otherwise.
struct position_mark {
    std::int64_t first;
    double seconds;
    bool advancing;
};

// Which stream sample holds which module position, from marks added in
// stream order.
class position_log {
  public:
    explicit position_log(int rate) : rate_(rate) {}

    // The stream from `first` on (at or after the last mark's) holds `seconds`.
    void mark(std::int64_t first, double seconds, bool advancing);

    // The module position held by stream sample `sample` (fractional samples
    // allowed; a sample past the last written one carries the last mark on).
    // false before the first mark: nothing of the module has reached it.
    bool seconds_at(double sample, double &seconds) const;

    void clear() { marks_.clear(); }

  private:
    int rate_;
    std::vector<position_mark> marks_;
};

class player {
  public:
    explicit player(int rate);

    int rate() const { return rate_; }

    // The output's pull: fills `frames` interleaved 16-bit stereo frames.
    void render(std::int16_t *out, std::size_t frames);

    // Frames handed to the output so far, and all frames computed so far
    // (a fade computed ahead waits to be pulled).
    std::int64_t frames_written() const { return written_; }
    std::int64_t frames_computed() const { return next_stream_frame(); }

    // Starts `module` from its beginning, fading out what played before.
    void play(openmpt_module *module);
    // Fades `module` out if it is the one playing and forgets it: the player
    // never touches it again once this returns.
    void stop(openmpt_module *module);
    // Stops whatever plays (with its fade).
    void stop_all() { stop(module_); }
    const openmpt_module *playing() const { return module_; }
    // Whether any module has played since the player was made: else the
    // stream has held silence only.
    bool ever_played() const { return ever_played_; }

    // Pause fades out and then holds the module where it is; going on fades
    // it in from there.
    void set_paused(bool paused);
    bool paused() const { return paused_; }

    // Fades out, moves the module to `seconds` (the start of the row there,
    // as the module player places it) and fades in (unless paused). The
    // position reached, or -1 when nothing plays.
    double seek(double seconds);

    // The module position that stream sample `sample` holds; false before the
    // module's first sample.
    bool seconds_at(double sample, double &seconds) const {
        return log_.seconds_at(sample, seconds);
    }

    // Length of the fades, in frames: a few milliseconds.
    int fade_frames() const { return fade_frames_; }

  private:
    // Renders `frames` of the module at the gain ramp's current place into
    // out (silence where the module gives nothing), stream sample
    // stream_first onwards, noting where the module player jumped (a repeat).
    void render_module(std::int16_t *out, std::size_t frames, std::int64_t stream_first);
    // The stream sample that the next frame computed will be.
    std::int64_t next_stream_frame() const;
    // Computes the fade-out of what plays now into pending_, so that it
    // reaches the output before anything that follows.
    void fade_out_now();

    int rate_;
    int fade_frames_;
    openmpt_module *module_ = nullptr;
    bool paused_ = false;
    bool ever_played_ = false;
    double position_ = 0;  // the module position of the next frame rendered from it
    int fade_in_left_ = 0; // frames of fade-in still to apply
    std::int64_t written_ = 0;
    std::vector<std::int16_t> pending_; // frames computed ahead (a fade), interleaved
    std::size_t pending_read_ = 0;      // values of pending_ already handed over
    position_log log_;
};

} // namespace sound
