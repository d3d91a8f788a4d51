// SDL2's audio output, for where no sound server answers (ALSA straight to the card) and for the
// dummy and disk drivers.
//
// SDL says nothing of the output's latency. The sample heard is estimated
// from the pulls: SDL asks for a buffer when the one before has begun to
// play, so at a pull the sample heard is about one buffer before the first
// one asked for, and it moves on with the clock until the next pull. The
// estimate is good to about one buffer (93 ms at 44.1 kHz), plus whatever
// the driver buffers beyond SDL's own.
#include "sound/output.h"

#include <SDL.h>

#include <algorithm>
#include <dlfcn.h>

namespace sound {

namespace {

// ALSA's library reports every device it looks for and cannot find on
// standard error, some ten lines on a machine without a sound card, whatever
// the audio layer finally says. While the output is being opened they are
// kept off the terminal: the audio layer's own reason is what is told.
class alsa_quiet {
  public:
    alsa_quiet() {
        library = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
        if (library)
            set_handler =
                reinterpret_cast<set_handler_fn>(dlsym(library, "snd_lib_error_set_handler"));
        if (set_handler)
            set_handler(ignore);
    }
    ~alsa_quiet() {
        if (set_handler)
            set_handler(nullptr); // ALSA's own printer again
        if (library)
            dlclose(library);
    }
    alsa_quiet(const alsa_quiet &) = delete;
    alsa_quiet &operator=(const alsa_quiet &) = delete;

  private:
    using handler_fn = void (*)(const char *, int, const char *, int, const char *, ...);
    using set_handler_fn = int (*)(handler_fn);
    static void ignore(const char *, int, const char *, int, const char *, ...) {}
    void *library = nullptr;
    set_handler_fn set_handler = nullptr;
};

class sdl_output final : public output {
  public:
    explicit sdl_output(player &music) : music_(music) {}
    ~sdl_output() override {
        if (device_) {
            // Waits for the audio thread: no pull runs after this.
            SDL_CloseAudioDevice(device_);
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }

    bool open(std::string &why);

    void lock() override { SDL_LockAudioDevice(device_); }
    void unlock() override { SDL_UnlockAudioDevice(device_); }
    bool heard(std::int64_t when_ns, double &sample) override;
    std::string name() const override { return "SDL (" + driver_ + ")"; }

  private:
    static void SDLCALL pull(void *self, Uint8 *stream, int bytes);

    player &music_;
    SDL_AudioDeviceID device_ = 0;
    std::string driver_;
    int buffer_frames_ = 0;
    bool thread_raised_ = false;
    bool pulled_ = false;
    std::int64_t pull_ns_ = 0;    // when the last pull began
    std::int64_t pull_first_ = 0; // the first stream sample it was asked for
};

bool sdl_output::open(std::string &why) {
    alsa_quiet quiet;
    // The audio subsystem brings up SDL's event subsystem, which would turn
    // SIGINT and SIGTERM into events nobody reads: the program could no
    // longer be stopped with Ctrl-C. Keep the default handlers.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        why = std::string("no audio output: ") + SDL_GetError();
        return false;
    }
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = music_.rate();
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    // About 90 to 190 ms a buffer at any rate: room for a busy machine.
    want.samples = 256;
    while (want.samples < music_.rate() / 11)
        want.samples *= 2;
    want.callback = pull;
    want.userdata = this;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to whatever the hardware takes, so the
    // pull always fills 16-bit stereo at the player's rate.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device_) {
        why = std::string("no audio output: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    const char *driver = SDL_GetCurrentAudioDriver();
    driver_ = driver ? driver : "?";
    buffer_frames_ = have.samples;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SDLCALL sdl_output::pull(void *self_pointer, Uint8 *stream, int bytes) {
    auto *self = static_cast<sdl_output *>(self_pointer);
    if (!self->thread_raised_) {
        self->thread_raised_ = true;
        raise_output_thread();
    }
    self->pull_ns_ = monotonic_ns();
    self->pull_first_ = self->music_.frames_written();
    self->pulled_ = true;
    self->music_.render(reinterpret_cast<std::int16_t *>(stream),
                        static_cast<std::size_t>(bytes) / 4);
}

bool sdl_output::heard(std::int64_t when_ns, double &sample) {
    if (!pulled_)
        return false;
    const double since = static_cast<double>(when_ns - pull_ns_) * music_.rate() / 1e9;
    // Never past what has been handed over, never before the stream's start.
    sample = static_cast<double>(pull_first_ - buffer_frames_) + std::max(0.0, since);
    sample = std::clamp(sample, 0.0, static_cast<double>(music_.frames_written()));
    return true;
}

} // namespace

std::unique_ptr<output> open_sdl(player &music, std::string &why) {
    auto out = std::make_unique<sdl_output>(music);
    if (!out->open(why))
        return nullptr;
    return out;
}

} // namespace sound
