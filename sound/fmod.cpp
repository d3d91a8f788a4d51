// The sound library: libopenmpt decodes the module; a sound server's stream (libpulse) or SDL2's
// audio output plays it.
#include "sound/fmod.h"
#include "sound/output.h"
#include "sound/player.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

struct FMUSIC_MODULE {
    openmpt_module *player;
};

namespace {

// The open output (null: closed) and the music it plays. Neither is ever
// destroyed by a static destructor: FSOUND_Close, or the exit handler below,
// closes them while everything they use still exists.
sound::output *device = nullptr;
sound::player *music = nullptr;
std::string device_name;

// The process that opened the output. The full-screen presenter splits the
// process after the soundtrack has started; the output's thread then lives on
// only in the process that was started (which keeps playing while it waits),
// and the copy of the output in the new process must not be touched: its lock
// may have been held by that thread at the split, and it has no thread to join.
pid_t device_owner = 0;

bool device_is_ours() {
    return device && device_owner == getpid();
}

// Holds the output's lock for a scope.
class locked {
  public:
    locked() { device->lock(); }
    ~locked() { device->unlock(); }
    locked(const locked &) = delete;
    locked &operator=(const locked &) = delete;
};

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

// How long closing lets the output play what it holds, at most.
constexpr auto drain_limit = std::chrono::milliseconds(1000);

// A program that ends with the music still playing (exit() after a failure
// further on) has it faded and played out like FSOUND_Close.
void close_at_exit() {
    FSOUND_Close();
}

bool is_loaded(const FMUSIC_MODULE *mod) {
    return mod && std::find(loaded.begin(), loaded.end(), mod) != loaded.end();
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
    music = new (std::nothrow) sound::player(mixrate);
    if (!music)
        return fail("no memory for the output");
    std::string why;
    std::unique_ptr<sound::output> opened;
    // SDL_AUDIODRIVER names one of SDL's drivers: that is the output asked for.
    const char *sdl_driver = std::getenv("SDL_AUDIODRIVER");
    if (!sdl_driver || !*sdl_driver)
        opened = sound::open_pulse(*music, why);
    if (!opened)
        opened = sound::open_sdl(*music, why);
    if (!opened) {
        delete music;
        music = nullptr;
        return fail(why);
    }
    device_name = opened->name();
    device = opened.release();
    device_owner = getpid();
    static bool exit_handler = false;
    if (!exit_handler)
        exit_handler = std::atexit(close_at_exit) == 0;
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
    locked hold;
    music->play(mod->player);
    return 1;
}

signed char FMUSIC_FreeSong(FMUSIC_MODULE *mod) {
    if (!is_loaded(mod))
        return 0;
    if (device_is_ours()) {
        // The fade is computed from the module before it goes.
        locked hold;
        music->stop(mod->player);
    }
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
    if (device_is_ours()) {
        std::int64_t until = 0;
        {
            locked hold;
            music->stop_all();
            if (music->ever_played())
                until = music->frames_computed();
        }
        // Let the output play the fade and what it holds before it.
        const auto deadline = std::chrono::steady_clock::now() + drain_limit;
        while (std::chrono::steady_clock::now() < deadline) {
            double heard = 0;
            bool told;
            {
                locked hold;
                told = device->heard(sound::monotonic_ns(), heard);
            }
            if (told && heard >= static_cast<double>(until))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        delete device;
        delete music;
    }
    // A split-off copy only forgets the output: it belongs to the other process.
    device = nullptr;
    music = nullptr;
    device_name.clear();
}

signed char FMUSIC_GetAudibleTime(FMUSIC_MODULE *mod, long long when_ns, double *seconds) {
    if (!device_is_ours() || !is_loaded(mod) || !seconds)
        return 0;
    locked hold;
    if (music->playing() != mod->player)
        return 0;
    double sample = 0;
    if (!device->heard(when_ns, sample))
        return 0;
    double at = 0;
    if (!music->seconds_at(sample, at))
        at = 0; // not heard yet: at its start
    *seconds = at;
    return 1;
}

signed char FMUSIC_SetPaused(FMUSIC_MODULE *mod, signed char pause) {
    if (!device_is_ours() || !is_loaded(mod))
        return 0;
    locked hold;
    if (music->playing() != mod->player)
        return 0;
    music->set_paused(pause != 0);
    return 1;
}

signed char FMUSIC_SetTime(FMUSIC_MODULE *mod, double seconds) {
    if (!device_is_ours() || !is_loaded(mod))
        return 0;
    locked hold;
    if (music->playing() != mod->player)
        return 0;
    music->seek(seconds);
    return 1;
}

const char *FSOUND_GetOutputName(void) {
    return device_name.c_str();
}

} // extern "C"
