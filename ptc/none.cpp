// The presenter of programs that draw frames only into memory: there is no display to open.
#include "ptc/ptc.h"

ptc_converter_t ptc_convert;

int ptc_open(const char *, int, int) {
    return 0;
}

int ptc_update(void *) {
    return 1;
}

int ptc_process_events() {
    return 0;
}

void ptc_close() {}

const char *ptc_failure_reason() {
    return "this program draws its frames only into memory and shows none";
}
