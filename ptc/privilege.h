// Root in the full-screen presenter: set aside at start, taken back to map video memory, given up.
#pragma once

#include <sys/types.h>
#include <unistd.h>

// Whether root can be had: as the effective id, or as the saved one.
bool ptc_root_available();

// Runs step with root as the effective id, then sets it aside again. False
// when root could not be taken back.
template <typename Step> bool ptc_with_root(Step &&step) {
    const uid_t user = geteuid();
    if (user != 0 && seteuid(0) != 0)
        return false;
    step();
    return user == 0 || seteuid(user) == 0;
}

// Gives up root for good: the real, effective and saved user ids must all be
// the real one afterwards. setuid changes all three only with root as the
// effective id, so root is taken back first; a process whose effective id is
// 0 but which lacks the capability to set ids would otherwise "succeed" in
// changing only its effective id and keep 0 as its saved id, free to take it
// back.
bool ptc_drop_privilege();
