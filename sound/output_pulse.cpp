// The output of a sound server through libpulse (PulseAudio, or PipeWire's PulseAudio service).
//
// A playback stream on a threaded main loop: the server asks for samples and
// the loop's thread pulls them from the player. The buffer on the server side
// is large (about 250 ms asked, of which the server keeps about 150 ms on its side), so that a busy machine does not starve the sink;
// the sample heard is the stream's read index less the sink's latency, as the
// server's timing reports give them, carried on by the clock between reports
// (which come every 100 ms or so), so
// the buffer's length, a sink that wakes from sleep and a slow start all
// count. The libpulse interpolation of the stream's time (pa_stream_get_time)
// is not used: it runs on while a waking sink has played nothing of the
// stream yet, and then stands still for a while to make up; the read index
// and the sink's latency from the same report do not.
#include "sound/output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <ctime>

namespace sound {

namespace {

// What the server keeps buffered for the stream, and the least it asks for
// at a time.
constexpr pa_usec_t target_latency_us = 250000;
constexpr pa_usec_t request_us = 20000;

class pulse_output final : public output {
  public:
    explicit pulse_output(player &music) : music_(music) {}
    ~pulse_output() override { release(); }

    bool open(std::string &why);

    void lock() override { pa_threaded_mainloop_lock(loop_); }
    void unlock() override { pa_threaded_mainloop_unlock(loop_); }
    bool heard(std::int64_t when_ns, double &sample) override;
    std::string name() const override { return "PulseAudio"; }

  private:
    static void on_context_state(pa_context *, void *self) {
        pa_threaded_mainloop_signal(static_cast<pulse_output *>(self)->loop_, 0);
    }
    static void on_stream_state(pa_stream *, void *self) {
        pa_threaded_mainloop_signal(static_cast<pulse_output *>(self)->loop_, 0);
    }
    static void on_write(pa_stream *stream, std::size_t bytes, void *self);

    bool fail(std::string &why, const char *what);
    void release();

    player &music_;
    pa_threaded_mainloop *loop_ = nullptr;
    bool loop_running_ = false;
    pa_context *context_ = nullptr;
    bool context_connected_ = false;
    pa_stream *stream_ = nullptr;
    bool stream_connected_ = false;
    bool thread_raised_ = false;
};

bool pulse_output::fail(std::string &why, const char *what) {
    const int error = context_ ? pa_context_errno(context_) : PA_ERR_INTERNAL;
    why = std::string(what) + ": " + pa_strerror(error);
    return false;
}

bool pulse_output::open(std::string &why) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_)
        return fail(why, "no sound server");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Vorbo returns");
    if (!context_)
        return fail(why, "no sound server");
    pa_context_set_state_callback(context_, on_context_state, this);
    // No server is started for us: where none runs, another output is tried.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return fail(why, "no sound server");
    context_connected_ = true;
    if (pa_threaded_mainloop_start(loop_) < 0)
        return fail(why, "no sound server");
    loop_running_ = true;

    lock();
    pa_context_state_t state;
    while ((state = pa_context_get_state(context_)) != PA_CONTEXT_READY &&
           PA_CONTEXT_IS_GOOD(state))
        pa_threaded_mainloop_wait(loop_);
    if (state != PA_CONTEXT_READY) {
        unlock();
        return fail(why, "no sound server");
    }

    const pa_sample_spec spec = {PA_SAMPLE_S16LE, static_cast<std::uint32_t>(music_.rate()), 2};
    stream_ = pa_stream_new(context_, "Vorbo returns", &spec, nullptr);
    if (!stream_) {
        unlock();
        return fail(why, "the sound server refused a stream");
    }
    pa_stream_set_state_callback(stream_, on_stream_state, this);
    pa_stream_set_write_callback(stream_, on_write, this);
    pa_buffer_attr buffer;
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(target_latency_us, &spec));
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(request_us, &spec));
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &buffer, flags, nullptr, nullptr) < 0) {
        unlock();
        return fail(why, "the sound server refused a stream");
    }
    stream_connected_ = true;
    pa_stream_state_t stream_state;
    while ((stream_state = pa_stream_get_state(stream_)) != PA_STREAM_READY &&
           PA_STREAM_IS_GOOD(stream_state))
        pa_threaded_mainloop_wait(loop_);
    unlock();
    if (stream_state != PA_STREAM_READY)
        return fail(why, "the sound server refused a stream");
    return true;
}

void pulse_output::on_write(pa_stream *stream, std::size_t bytes, void *self_pointer) {
    auto *self = static_cast<pulse_output *>(self_pointer);
    if (!self->thread_raised_) {
        self->thread_raised_ = true;
        raise_output_thread();
    }
    while (bytes >= 4) {
        void *data = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(stream, &data, &size) < 0 || !data)
            return;
        size -= size % 4;
        if (size == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        self->music_.render(static_cast<std::int16_t *>(data), size / 4);
        if (pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        bytes -= size;
    }
}

bool pulse_output::heard(std::int64_t when_ns, double &sample) {
    const pa_timing_info *timing = stream_ ? pa_stream_get_timing_info(stream_) : nullptr;
    if (!timing)
        return false;
    // The server's report, as it stood at its timestamp (the wall clock's):
    // the sink had taken the stream up to the read index and would play what
    // it held in sink_usec. So the sample heard then was the read index less
    // that, and from then on the sink plays on with the clock; while the
    // stream stands (waiting for data, or for a sink to wake) the sink still
    // plays out what it holds, up to the read index and no further.
    timespec wall;
    clock_gettime(CLOCK_REALTIME, &wall);
    const double since_report =
        static_cast<double>(wall.tv_sec - timing->timestamp.tv_sec) +
        static_cast<double>(wall.tv_nsec / 1000 - timing->timestamp.tv_usec) / 1e6 +
        static_cast<double>(when_ns - monotonic_ns()) / 1e9;
    const double rate = music_.rate();
    const double taken = static_cast<double>(timing->read_index) / 4;
    sample = taken + (since_report - static_cast<double>(timing->sink_usec) / 1e6) * rate;
    if (!timing->playing || pa_stream_is_corked(stream_) == 1)
        sample = std::min(sample, taken);
    sample = std::max(sample, 0.0);
    return true;
}

void pulse_output::release() {
    if (loop_running_)
        pa_threaded_mainloop_stop(loop_);
    if (stream_) {
        if (stream_connected_)
            pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_) {
        if (context_connected_)
            pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_)
        pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
    context_ = nullptr;
    stream_ = nullptr;
}

} // namespace

std::unique_ptr<output> open_pulse(player &music, std::string &why) {
    auto out = std::make_unique<pulse_output>(music);
    if (!out->open(why))
        return nullptr;
    return out;
}

} // namespace sound
