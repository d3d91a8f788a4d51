// Root in the full-screen presenter: held only to map the video memory, then given up for good.
#include "ptc/privilege.h"

#include <unistd.h>

// Root is held only to map the video memory. A program installed setuid root
// sets it aside before anything else runs (the banner, the switches, the
// sound library with its configuration files and environment): the
// effective id becomes the real one, and root stays only the saved id, taken
// back as the effective id for the mapping alone and given up for good once
// the screen is set up. Started by root itself (sudo), there is nothing to
// set aside. A copy that cannot set its privilege aside does not go on.
static const bool ptc_privilege_set_aside = [] {
    const uid_t real = getuid();
    if (geteuid() == real)
        return false;
    if (seteuid(real) != 0) {
        static const char message[] = "cannot set root privilege aside\n";
        ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
        (void)written;
        _exit(1);
    }
    return true;
}();

bool ptc_root_available() {
    uid_t real, effective, saved;
    return getresuid(&real, &effective, &saved) == 0 && (effective == 0 || saved == 0);
}

bool ptc_drop_privilege() {
    uid_t user = getuid();
    if (geteuid() != 0 && seteuid(0) != 0)
        return false;
    if (setuid(user) != 0)
        return false;
    uid_t real, effective, saved;
    if (getresuid(&real, &effective, &saved) != 0)
        return false;
    return real == user && effective == user && saved == user;
}
