// The lip-sync measurement's ear: records a sink's monitor with the moment each read sample left
// the sink.
//
// vorbo-av-sync record SOURCE PCM_FILE TIMES_FILE
//
// Records SOURCE (a sink's monitor) as 16-bit stereo at 44.1 kHz into
// PCM_FILE until SIGTERM or SIGINT. After every read it writes a line to
// TIMES_FILE: the frames recorded so far, CLOCK_MONOTONIC in nanoseconds, and
// the sink's latency as last reported (microseconds; -1 before a report).
// The stream asks for small fragments (2 ms), which also makes the sink
// render in blocks that small, and does not keep the sink awake, so that a
// sink left to sleep does sleep.
#include "bench/av_sync.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <sched.h>
#include <unistd.h>

namespace av_sync {

namespace {

std::atomic<bool> stop_asked{false};
extern "C" void on_record_stop(int) {
    stop_asked = true;
}

struct recorder {
    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    std::FILE *pcm = nullptr;
    std::FILE *times = nullptr;
    long long frames = 0;
    bool raised = false;
};

void on_state(pa_context *, void *r) {
    pa_threaded_mainloop_signal(static_cast<recorder *>(r)->loop, 0);
}
void on_stream_state(pa_stream *, void *r) {
    pa_threaded_mainloop_signal(static_cast<recorder *>(r)->loop, 0);
}

void on_read(pa_stream *stream, std::size_t, void *self) {
    auto *r = static_cast<recorder *>(self);
    if (!r->raised) {
        // Read as promptly as the sound server's own threads, where permitted.
        r->raised = true;
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 4;
        sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
    }
    const void *data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &data, &bytes) < 0)
            return;
        if (bytes == 0)
            break;
        if (data) {
            std::fwrite(data, 1, bytes, r->pcm);
        } else {
            // A hole in the stream: the samples that were not there, as silence.
            static const char zeros[4096] = {};
            for (std::size_t left = bytes; left > 0;) {
                const std::size_t n = left < sizeof zeros ? left : sizeof zeros;
                std::fwrite(zeros, 1, n, r->pcm);
                left -= n;
            }
        }
        r->frames += static_cast<long long>(bytes / 4);
        pa_stream_drop(stream);
    }
    // A monitor gets each sample when the sink renders it, which is the
    // sink's latency before the sink plays it: the server's report of that
    // latency goes with every line.
    const pa_timing_info *timing = pa_stream_get_timing_info(stream);
    std::fprintf(r->times, "%lld %lld %lld\n", r->frames, static_cast<long long>(now_ns()),
                 timing ? static_cast<long long>(timing->sink_usec) : -1LL);
}

} // namespace

int record(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vorbo-av-sync record SOURCE PCM_FILE TIMES_FILE\n");
        return 2;
    }
    recorder r;
    r.pcm = std::fopen(argv[1], "wb");
    r.times = std::fopen(argv[2], "w");
    if (!r.pcm || !r.times) {
        std::perror("vorbo-av-sync record");
        return 1;
    }
    std::signal(SIGTERM, on_record_stop);
    std::signal(SIGINT, on_record_stop);

    r.loop = pa_threaded_mainloop_new();
    r.context = pa_context_new(pa_threaded_mainloop_get_api(r.loop), "vorbo-av-sync");
    pa_context_set_state_callback(r.context, on_state, &r);
    if (pa_context_connect(r.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        std::fprintf(stderr, "vorbo-av-sync record: no sound server\n");
        return 1;
    }
    pa_threaded_mainloop_start(r.loop);
    pa_threaded_mainloop_lock(r.loop);
    pa_context_state_t state;
    while ((state = pa_context_get_state(r.context)) != PA_CONTEXT_READY &&
           PA_CONTEXT_IS_GOOD(state))
        pa_threaded_mainloop_wait(r.loop);
    if (state != PA_CONTEXT_READY) {
        pa_threaded_mainloop_unlock(r.loop);
        std::fprintf(stderr, "vorbo-av-sync record: no sound server\n");
        return 1;
    }
    const pa_sample_spec spec = {PA_SAMPLE_S16LE, 44100, 2};
    r.stream = pa_stream_new(r.context, "vorbo-av-sync recorder", &spec, nullptr);
    pa_stream_set_state_callback(r.stream, on_stream_state, &r);
    pa_stream_set_read_callback(r.stream, on_read, &r);
    pa_buffer_attr buffer;
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(2000, &spec));
    buffer.tlength = buffer.prebuf = buffer.minreq = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
    pa_stream_connect_record(r.stream, argv[0], &buffer, flags);
    pa_stream_state_t stream_state;
    while ((stream_state = pa_stream_get_state(r.stream)) != PA_STREAM_READY &&
           PA_STREAM_IS_GOOD(stream_state))
        pa_threaded_mainloop_wait(r.loop);
    pa_threaded_mainloop_unlock(r.loop);
    if (stream_state != PA_STREAM_READY) {
        std::fprintf(stderr, "vorbo-av-sync record: cannot record %s\n", argv[0]);
        return 1;
    }
    std::printf("recording\n");
    std::fflush(stdout);
    while (!stop_asked)
        usleep(20000);

    pa_threaded_mainloop_lock(r.loop);
    std::fflush(r.pcm);
    std::fflush(r.times);
    pa_stream_disconnect(r.stream);
    pa_threaded_mainloop_unlock(r.loop);
    pa_threaded_mainloop_stop(r.loop);
    std::fclose(r.pcm);
    std::fclose(r.times);
    return 0;
}

} // namespace av_sync
