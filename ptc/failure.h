// Why a presenter's open failed: one line that the program prints after its own message.
#pragma once

#include <cstdarg>

// Forgets the reason of an earlier open (each open starts with a clean slate).
void ptc_forget_failure();

// Records why the open fails (printf-style), for ptc_failure_reason.
void ptc_fail_because(const char *format, ...) __attribute__((format(printf, 1, 2)));
void ptc_fail_because_v(const char *format, va_list arguments)
    __attribute__((format(printf, 1, 0)));

// The name the program was started by ("vorbo-window"), for the reasons.
const char *ptc_program_name();
