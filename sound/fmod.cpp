// The sound library: libopenmpt decodes the module, SDL2's audio thread pulls it to the output.
#include "sound/fmod.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

struct FMUSIC_MODULE {
    openmpt_module *player;
};

namespace {

// The open output (0: closed) and its rate in frames per second.
SDL_AudioDeviceID device = 0;
int device_rate = 0;

// The process that opened the output. The full-screen presenter splits the
// process after the soundtrack has started; the audio thread then lives on
// only in the process that was started (which keeps playing while it waits),
// and the copy of the device in the new process must not be touched: its lock
// may have been held by that thread at the split, and it has no thread to join.
pid_t device_owner = 0;

bool device_is_ours() {
    return device && device_owner == getpid();
}

// The module that the audio callback renders, or null for silence. The
// callback runs with the device locked, so every change of this pointer or of
// the module's position happens with the device locked too.
FMUSIC_MODULE *playing = nullptr;

// Every module loaded and not yet freed. Handles are checked against it, so
// a stale or foreign pointer is refused instead of being dereferenced.
std::vector<FMUSIC_MODULE *> loaded;

// Tracker modules are small; anything larger than this is not one.
constexpr std::size_t max_module_bytes = std::size_t(64) << 20;

// What FSOUND_GetErrorText tells: why the last call that failed failed.
std::string error_text;

bool fail(const std::string &why) {
    error_text = why;
    return false;
}

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

bool is_loaded(const FMUSIC_MODULE *mod) {
    return mod && std::find(loaded.begin(), loaded.end(), mod) != loaded.end();
}

void SDLCALL mix(void *, Uint8 *stream, int len) {
    auto *out = reinterpret_cast<std::int16_t *>(stream);
    const std::size_t frames = std::size_t(len) / 4;
    std::size_t done = 0;
    if (playing) {
        // With the repeat count at -1 the player wraps to the start by itself
        // and only returns 0 on an internal error.
        while (done < frames) {
            std::size_t n = openmpt_module_read_interleaved_stereo(playing->player, device_rate,
                                                                   frames - done, out + 2 * done);
            if (n == 0)
                break;
            done += n;
        }
    }
    std::memset(out + 2 * done, 0, (frames - done) * 4);
}

// The whole file, or false when it cannot be opened or read, is empty or is
// larger than any module. Works on pipes and devices too: no size is asked
// for up front.
bool read_file(const char *name, std::vector<unsigned char> &data) {
    std::FILE *f = std::fopen(name, "rb");
    if (!f)
        return fail(std::strerror(errno));
    unsigned char chunk[65536];
    bool ok = true;
    for (;;) {
        std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
        if (data.size() + n > max_module_bytes) {
            ok = fail("larger than any module");
            break;
        }
        data.insert(data.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            if (std::ferror(f))
                ok = fail(std::string("cannot be read: ") + std::strerror(errno));
            break;
        }
    }
    std::fclose(f);
    if (ok && data.empty())
        ok = fail("empty, not a module");
    return ok;
}

} // namespace

extern "C" {

signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags) {
    (void)maxsoftwarechannels;
    (void)flags;
    error_text.clear();
    if (device)
        return fail("the output is already open");
    if (mixrate < 8000 || mixrate > 192000)
        return fail("no output plays at " + std::to_string(mixrate) + " frames per second");
    alsa_quiet quiet;
    // The audio subsystem brings up SDL's event subsystem, which would turn
    // SIGINT and SIGTERM into events nobody reads: the program could no
    // longer be stopped with Ctrl-C. Keep the default handlers.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return fail(std::string("no audio output: ") + SDL_GetError());

    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = mixrate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    // About 20 to 40 ms per callback at any rate.
    want.samples = 256;
    while (want.samples < mixrate / 50)
        want.samples *= 2;
    want.callback = mix;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to whatever the hardware takes, so the
    // callback always fills 16-bit stereo at mixrate.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device) {
        fail(std::string("no audio output: ") + SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    device_rate = mixrate;
    device_owner = getpid();
    SDL_PauseAudioDevice(device, 0);
    return 1;
}

FMUSIC_MODULE *FMUSIC_LoadSong(const char *name) {
    error_text.clear();
    if (!name) {
        fail("no file name");
        return nullptr;
    }
    std::vector<unsigned char> data;
    try {
        // Room for the handle is made first, so nothing can fail once the
        // player exists.
        loaded.reserve(loaded.size() + 1);
        if (!read_file(name, data))
            return nullptr;
    } catch (const std::bad_alloc &) {
        fail("no memory for the module");
        return nullptr;
    }
    auto *mod = new (std::nothrow) FMUSIC_MODULE{nullptr};
    if (!mod) {
        fail("no memory for the module");
        return nullptr;
    }
    // Silent log and no error printing: the caller reports a failure in its
    // own words.
    mod->player = openmpt_module_create_from_memory2(
        data.data(), data.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, nullptr, nullptr, nullptr);
    if (!mod->player) {
        fail("not a module");
        delete mod;
        return nullptr;
    }
    openmpt_module_set_repeat_count(mod->player, -1);
    loaded.push_back(mod);
    return mod;
}

signed char FMUSIC_PlaySong(FMUSIC_MODULE *mod) {
    error_text.clear();
    if (!device_is_ours())
        return fail("the output is not open");
    if (!is_loaded(mod))
        return fail("not a loaded module");
    SDL_LockAudioDevice(device);
    openmpt_module_set_position_seconds(mod->player, 0.0);
    playing = mod;
    SDL_UnlockAudioDevice(device);
    return 1;
}

signed char FMUSIC_FreeSong(FMUSIC_MODULE *mod) {
    if (!is_loaded(mod))
        return 0;
    bool lock = device_is_ours();
    if (lock)
        SDL_LockAudioDevice(device);
    if (playing == mod)
        playing = nullptr;
    if (lock)
        SDL_UnlockAudioDevice(device);
    loaded.erase(std::find(loaded.begin(), loaded.end(), mod));
    openmpt_module_destroy(mod->player);
    delete mod;
    return 1;
}

const char *FSOUND_GetErrorText(void) {
    return error_text.c_str();
}

void FSOUND_Close(void) {
    if (!device)
        return;
    // A split-off copy only forgets the output: it belongs to the other process.
    const bool ours = device_is_ours();
    // Closing waits for the audio thread, so no callback runs after this.
    if (ours)
        SDL_CloseAudioDevice(device);
    device = 0;
    device_rate = 0;
    playing = nullptr;
    if (ours)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // extern "C"
