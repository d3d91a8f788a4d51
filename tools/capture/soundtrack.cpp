// Renders the tracker module with libopenmpt, sample-exact and the same on every run.
#include "tools/capture/soundtrack.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace capture {

soundtrack::~soundtrack() {
    if (module_)
        openmpt_module_destroy(module_);
}

bool soundtrack::load(const std::string &path, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "vorbo-capture: cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<char> data;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) {
        error = "vorbo-capture: cannot read " + path;
        return false;
    }

    int code = 0;
    const char *message = nullptr;
    openmpt_module *loaded = openmpt_module_create_from_memory2(
        data.data(), data.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, &code, &message, nullptr);
    if (!loaded) {
        error = "vorbo-capture: " + path + " is not a module libopenmpt can play";
        if (message && *message)
            error += std::string(" (") + message + ")";
        openmpt_free_string(message);
        return false;
    }
    openmpt_free_string(message);
    if (module_)
        openmpt_module_destroy(module_);
    module_ = loaded;
    openmpt_module_set_repeat_count(module_, -1);
    return true;
}

void soundtrack::render(int rate, float *left, float *right, int count) {
    int done = 0;
    while (module_ && done < count) {
        const size_t got = openmpt_module_read_float_stereo(
            module_, rate, static_cast<size_t>(count - done), left + done, right + done);
        // Only an empty module or an internal fault renders nothing while
        // repeating forever; stop asking rather than spin.
        if (got == 0)
            break;
        done += static_cast<int>(got);
    }
    std::fill(left + done, left + count, 0.0f);
    std::fill(right + done, right + count, 0.0f);
}

} // namespace capture
