/* Counts a program's frames from outside, for benchmarks: an LD_PRELOAD shim over the clock and the
 * present.
 *
 *   VORBO_FRAME_COUNT_FILE=counts.txt LD_PRELOAD=build/libvorbo-frame-counter.so build/vorbo-window
 * ...
 *
 * The demo reads the time of day once per frame (at the start of do_frame)
 * and, when it presents, calls XShmPutImage once per frame. The shim passes
 * both calls through unchanged and tallies them per wall-clock second: the
 * file gets a line "start S" for the first clock read (the one taken when the
 * graphics set-up finishes, which is the demo clock's origin, and which is not
 * a frame), then one line "S READS PUTS" for every later second S in which
 * either was called, written as soon as the second is over and at exit (so a
 * run cut short keeps the seconds it finished). The program's own output is
 * untouched. Without VORBO_FRAME_COUNT_FILE the shim only passes calls on.
 */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>

typedef int (*gettimeofday_fn)(struct timeval *, void *);
typedef Bool (*put_fn)(Display *, Drawable, GC, XImage *, int, int, int, int, unsigned int,
                       unsigned int, Bool);

static int out_fd = -2; /* -2: not opened yet, -1: counting off */
static int started;
static long current_second = -1;
static unsigned long read_count, put_count;

static void say(const char *text) {
    size_t length = strlen(text);
    while (length > 0) {
        ssize_t n = write(out_fd, text, length);
        if (n <= 0)
            return;
        text += n;
        length -= (size_t)n;
    }
}

static int counting(void) {
    if (out_fd == -2) {
        const char *path = getenv("VORBO_FRAME_COUNT_FILE");
        out_fd = path && *path ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644) : -1;
    }
    return out_fd >= 0;
}

static void flush_second(void) {
    char line[96];
    if (current_second < 0 || (read_count == 0 && put_count == 0))
        return;
    snprintf(line, sizeof line, "%ld %lu %lu\n", current_second, read_count, put_count);
    say(line);
    read_count = 0;
    put_count = 0;
}

/* Moves the tally to second s, writing out the second that ended. */
static void at_second(long s) {
    if (s == current_second)
        return;
    flush_second();
    current_second = s;
}

int gettimeofday(struct timeval *tv, void *tz) {
    static gettimeofday_fn real;
    if (!real)
        real = (gettimeofday_fn)dlsym(RTLD_NEXT, "gettimeofday");
    int result = real(tv, tz);
    if (result == 0 && counting()) {
        if (!started) {
            char line[64];
            started = 1;
            snprintf(line, sizeof line, "start %ld\n", (long)tv->tv_sec);
            say(line);
            current_second = (long)tv->tv_sec;
        } else {
            at_second((long)tv->tv_sec);
            read_count++;
        }
    }
    return result;
}

/* Counted in the second of the latest clock read: the second of the frame
 * being presented. */
Bool XShmPutImage(Display *display, Drawable d, GC gc, XImage *image, int src_x, int src_y,
                  int dst_x, int dst_y, unsigned int width, unsigned int height, Bool send_event) {
    static put_fn real;
    if (!real)
        real = (put_fn)dlsym(RTLD_NEXT, "XShmPutImage");
    if (counting())
        put_count++;
    return real(display, d, gc, image, src_x, src_y, dst_x, dst_y, width, height, send_event);
}

__attribute__((destructor)) static void write_last_second(void) {
    if (out_fd >= 0)
        flush_second();
}
