// Why a presenter's open failed: the one reason every back-end records and the program prints.
#include "ptc/failure.h"
#include "ptc/ptc.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace {

char failure_reason[512];

} // namespace

void ptc_forget_failure() {
    failure_reason[0] = '\0';
}

void ptc_fail_because(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    ptc_fail_because_v(format, arguments);
    va_end(arguments);
}

void ptc_fail_because_v(const char *format, va_list arguments) {
    std::vsnprintf(failure_reason, sizeof failure_reason, format, arguments);
}

const char *ptc_failure_reason() {
    return failure_reason;
}

const char *ptc_program_name() {
    return program_invocation_short_name;
}
