/* The sound library: plays one tracker module (XM, MOD, S3M, IT, ...) on the default audio output.
 *
 * The output is the sound server's (PulseAudio, or PipeWire's PulseAudio
 * service) where one answers, else SDL's (its ALSA, dummy or disk driver;
 * SDL_AUDIODRIVER, when set, chooses SDL and its driver). Stopping, freeing
 * and closing fade the last few milliseconds out, so that no sound ends
 * mid-wave.
 */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* A loaded module; opaque to callers. */
typedef struct FMUSIC_MODULE FMUSIC_MODULE;

/* Opens the default audio output at `mixrate` frames per second (8000 to
   192000), 16-bit stereo. The channel count and flags are accepted for
   compatibility and otherwise unused: the module player mixes its own
   channels. Returns nonzero when the output is open, 0 when no output can
   be opened, the rate is out of range or the output is already open. */
signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags);

/* Loads the module file `name`. Returns null for a missing, unreadable or
   empty file and for anything that is not a module the player understands. */
FMUSIC_MODULE *FMUSIC_LoadSong(const char *name);

/* Starts `mod` from its beginning on the open output (stopping any other
   module); it then plays by itself and repeats when it reaches its end.
   Returns 0, changing nothing, when the output is not open or `mod` is not
   a loaded module. */
signed char FMUSIC_PlaySong(FMUSIC_MODULE *mod);

/* Stops `mod` if it is playing (fading its last milliseconds out) and frees it. Returns 0 for null
   or for a handle that is not (or no longer) a loaded module. */
signed char FMUSIC_FreeSong(FMUSIC_MODULE *mod);

/* Why the last call that failed failed, in a few words (for example "no
   such file", "not a module", or the audio layer's own reason); "" after a
   call that succeeded. */
const char *FSOUND_GetErrorText(void);

/* Stops playback with a fade, lets the output play what it holds (a fraction
   of a second at most), and closes it. Loaded modules stay loaded until
   freed. Does nothing when the output is not open. */
void FSOUND_Close(void);

/* For a player that keeps its picture on the music's clock. */

/* Where in `mod`, in seconds from its start, is the sound heard at `when_ns`
   (nanoseconds of CLOCK_MONOTONIC, a moment near now): the sample leaving
   the output then, after the output's latency as the sound server reports it
   (or as estimated, on SDL's output). Until the module's first sample is
   heard it is at 0; while paused it stands. Returns 0, changing nothing, when
   `mod` is not the module playing or the output cannot tell yet. */
signed char FMUSIC_GetAudibleTime(FMUSIC_MODULE *mod, long long when_ns, double *seconds);

/* Pauses `mod` where it is (nonzero `pause`) or lets it go on (0), with a
   short fade; the output plays silence meanwhile. Returns 0 when `mod` is not
   the module playing. */
signed char FMUSIC_SetPaused(FMUSIC_MODULE *mod, signed char pause);

/* Moves `mod` to `seconds` from its start (to the row there), with a short
   fade. Returns 0 when `mod` is not the module playing. */
signed char FMUSIC_SetTime(FMUSIC_MODULE *mod, double seconds);

/* The output playing ("PulseAudio", "SDL (alsa)", ...), or "" when none is open. */
const char *FSOUND_GetOutputName(void);

#ifdef __cplusplus
}
#endif
