// Fuzz target: any bytes as a module file through the sound library's loader, then freed.
#include "fuzz_support.h"
#include "sound/fmod.h"

#include <cstdint>
#include <string>

namespace {

std::string song_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    song_path = vorbo_fuzz::make_scratch_dir() + "/song.xm";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    vorbo_fuzz::write_file(song_path, data, size);
    FMUSIC_MODULE *song = FMUSIC_LoadSong(song_path.c_str());
    if (!song)
        return 0;
    // Without an open output a loaded module cannot start; it must free once.
    if (FMUSIC_PlaySong(song))
        vorbo_fuzz::fail("a module started playing with no output open");
    if (!FMUSIC_FreeSong(song))
        vorbo_fuzz::fail("a loaded module could not be freed");
    if (FMUSIC_FreeSong(song))
        vorbo_fuzz::fail("a module was freed twice");
    return 0;
}
