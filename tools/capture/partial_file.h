// The output file while it is being written: removed by every way out of the capture but success.
#pragma once

#include <string>

namespace capture {

// From now on name is removed at exit (exit() called from anywhere, the
// timeline included) and on SIGINT, SIGTERM, SIGHUP and SIGPIPE, until
// keep_partial_file or remove_partial_file. False (nothing guarded) when the
// name is too long for the fixed buffer the signal handler reads.
bool guard_partial_file(const std::string &name);

// Removes the guarded file now (the capture failed) and stops guarding it.
void remove_partial_file();

// Stops guarding the file: it has become the finished output.
void keep_partial_file();

} // namespace capture
