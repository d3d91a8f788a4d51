// Files and libopenmpt modules shared by the sound tests.
#pragma once

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace sound_test {

// The show's module as the build lays it out.
inline const std::string module_path = std::string(VORBO_BINARY_DIR) + "/data/test.xm";

// A file of this process in the test's temporary folder.
inline std::string temp_path(const std::string &name) {
    return testing::TempDir() + "vorbo_sound_" + std::to_string(getpid()) + "_" + name;
}

// The whole file (empty when it cannot be read).
inline std::vector<std::uint8_t> read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)),
                                     std::istreambuf_iterator<char>());
}

inline void write_file(const std::string &path, const std::vector<std::uint8_t> &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

inline void log_to_vector(const char *message, void *user) {
    static_cast<std::vector<std::string> *>(user)->push_back(message ? message : "");
}

// Loads bytes with libopenmpt, collecting every log line it writes in *log,
// or discarding them when log is null.
inline openmpt_module *open_module(const std::vector<std::uint8_t> &bytes,
                                   std::vector<std::string> *log = nullptr) {
    return openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), log ? log_to_vector : openmpt_log_func_silent, log,
        openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
}

} // namespace sound_test
