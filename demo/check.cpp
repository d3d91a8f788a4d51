// Reporting of failed internal checks.
#include "demo/check.h"

#include <cstdio>

namespace demo {

namespace {
unsigned long failures = 0;
}

void check_failed(const char *expression, const char *file, int line, const char *function) {
    ++failures;
    std::fprintf(stderr, "%s:%d: %s: check `%s' failed.\n", file, line, function, expression);
}

unsigned long check_failure_count() {
    return failures;
}

} // namespace demo
