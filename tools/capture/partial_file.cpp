// The guarded partial output: signal-safe removal of a capture that does not finish.
#include "tools/capture/partial_file.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace capture {

namespace {

// The file being written. A fixed buffer, because the signal handler may not
// touch the heap.
char partial[4096] = "";

void remove_partial() {
    if (partial[0])
        unlink(partial);
}

extern "C" void on_signal(int number) {
    remove_partial();
    std::signal(number, SIG_DFL);
    std::raise(number);
}

} // namespace

bool guard_partial_file(const std::string &name) {
    if (name.size() >= sizeof partial)
        return false;
    static bool installed = false;
    if (!installed) {
        installed = true;
        std::atexit(remove_partial);
        for (int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            std::signal(number, on_signal);
    }
    std::memcpy(partial, name.c_str(), name.size() + 1);
    return true;
}

void remove_partial_file() {
    remove_partial();
    keep_partial_file();
}

void keep_partial_file() {
    partial[0] = '\0';
}

} // namespace capture
