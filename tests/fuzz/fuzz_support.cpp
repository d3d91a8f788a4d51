// Scratch files of the fuzz targets.
#include "fuzz_support.h"

#include <cstdlib>
#include <ftw.h>
#include <string>
#include <unistd.h>

namespace vorbo_fuzz {

namespace {

std::string scratch_dir;

int remove_entry(const char *path, const struct stat *, int, struct FTW *) {
    return std::remove(path);
}

// Removes the scratch directory when the process ends normally (libFuzzer
// ends a bounded run through exit).
void remove_scratch_dir() {
    if (!scratch_dir.empty())
        nftw(scratch_dir.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
}

} // namespace

std::string make_scratch_dir() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vorbo-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        fail("cannot make a scratch directory");
    if (scratch_dir.empty())
        std::atexit(remove_scratch_dir);
    scratch_dir = pattern;
    return pattern;
}

void write_file(const std::string &path, const std::uint8_t *data, std::size_t size) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        fail("cannot write a scratch file");
    if (size && std::fwrite(data, 1, size, file) != size)
        fail("short write of a scratch file");
    if (std::fclose(file) != 0)
        fail("cannot close a scratch file");
}

} // namespace vorbo_fuzz
