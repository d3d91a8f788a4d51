/* The sound library: plays one tracker module (XM, MOD, S3M, IT, ...) on the default audio output.
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

/* Stops `mod` if it is playing and frees it. Returns 0 for null or for a
   handle that is not (or no longer) a loaded module. */
signed char FMUSIC_FreeSong(FMUSIC_MODULE *mod);

/* Why the last call that failed failed, in a few words (for example "no
   such file", "not a module", or the audio layer's own reason); "" after a
   call that succeeded. */
const char *FSOUND_GetErrorText(void);

/* Stops playback and closes the output. Loaded modules stay loaded until
   freed. Does nothing when the output is not open. */
void FSOUND_Close(void);

#ifdef __cplusplus
}
#endif
