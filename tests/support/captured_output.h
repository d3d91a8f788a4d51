// What code writes on standard error and standard output while it runs: the tests' one way to read
// it.
#pragma once

#include <gtest/gtest.h>
#include <string>

namespace vorbo_test {

// What run() wrote on standard error.
template <typename F> std::string stderr_of(F &&run) {
    testing::internal::CaptureStderr();
    run();
    return testing::internal::GetCapturedStderr();
}

// What run() wrote on standard output and on standard error.
struct output {
    std::string out;
    std::string err;
};
template <typename F> output output_of(F &&run) {
    testing::internal::CaptureStdout();
    std::string err = stderr_of(run);
    return {testing::internal::GetCapturedStdout(), err};
}

} // namespace vorbo_test
