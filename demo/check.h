// Internal checks of the drawing code: a failed check reports and drops the draw.
#pragma once

namespace demo {

// Prints "<module>:<line>: <function>: check `<expression>' failed." on
// standard error, the module being the source file's path from the top of the
// tree (the build maps __FILE__ so: demo/2d/demo_2d.cpp wherever it was built).
// Never aborts, whatever NDEBUG says.
void check_failed(const char *expression, const char *file, int line, const char *function);

// How many checks have failed since the process started (for tests and tools).
unsigned long check_failure_count();

} // namespace demo

// DEMO_CHECK(expression[, result]): when the expression is false, report it
// with its exact source text and return from the calling function (with
// result, if given). Expressions whose text is part of the system's messages
// are kept out of clang-format so their spelling stays as printed.
#define DEMO_CHECK(expression, ...)                                                                \
    do {                                                                                           \
        if (!(expression)) {                                                                       \
            ::demo::check_failed(#expression, __FILE__, __LINE__, __PRETTY_FUNCTION__);            \
            return __VA_ARGS__;                                                                    \
        }                                                                                          \
    } while (0)
