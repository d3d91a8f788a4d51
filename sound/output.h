// Where the music is played: an output that pulls the player's samples and tells which one is
// heard.
#pragma once

#include "sound/player.h"

#include <cstdint>
#include <memory>
#include <string>

namespace sound {

class output {
  public:
    virtual ~output() = default;

    // The player's samples are pulled with this lock held; every call into the
    // player from elsewhere takes it too.
    virtual void lock() = 0;
    virtual void unlock() = 0;

    // The stream sample (frames since the output opened) heard at when_ns, in
    // nanoseconds of CLOCK_MONOTONIC, and how exactly the output can tell:
    // false while it cannot tell yet. Called with the lock held.
    virtual bool heard(std::int64_t when_ns, double &sample) = 0;

    // How messages name it: "PulseAudio", "SDL (alsa)".
    virtual std::string name() const = 0;
};

// The output of a sound server (PulseAudio, or PipeWire's PulseAudio
// service), whose reports of the stream's timing give the sample heard: null,
// with why set, when no server answers.
std::unique_ptr<output> open_pulse(player &music, std::string &why);

// SDL's audio output (the driver SDL_AUDIODRIVER names, or the first that
// opens): null, with why set, when none opens.
std::unique_ptr<output> open_sdl(player &music, std::string &why);

// CLOCK_MONOTONIC now, in nanoseconds.
std::int64_t monotonic_ns();

// Gives the calling thread (an output's own) real-time scheduling where the
// system permits it, or else a raised priority, so that a busy machine does
// not starve the output; where neither is permitted it stays as it is.
void raise_output_thread();

} // namespace sound
