// Test double of the DGA video-memory calls: a shared file as video memory, the real server for the
// rest.
//
// Linked into a test program, it replaces the presenter's DGA calls before
// main runs. Set through the environment:
//   VORBO_FAKE_DGA_MEMORY      file used as video memory (its length is the bank size);
//                              at the viewport call a copy goes to <file>.open
//   VORBO_FAKE_DGA_LINE_WIDTH  line width in pixels (default: the screen's width)
//   VORBO_FAKE_DGA_BANKSIZE    bank size to report instead of the file's length
//   VORBO_FAKE_DGA_LOG         file that gets one line per call
//   VORBO_FAKE_DGA_FAIL        names of calls that fail: get_video, get_viewport_size, fork_app
// The viewport size is the real server's current mode, as DGA reports it.
#include "ptc/dga_video.h"

#include <X11/extensions/xf86vmode.h>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

char *memory_address;
size_t memory_length;

void log_call(const char *format, ...) {
    const char *path = std::getenv("VORBO_FAKE_DGA_LOG");
    if (!path)
        return;
    char line[256];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(line, sizeof line - 1, format, arguments);
    va_end(arguments);
    if (length < 0)
        return;
    length = std::min(length, static_cast<int>(sizeof line) - 2);
    line[length++] = '\n';
    // One write per line, appended: the lines of the split processes do not mix.
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    ssize_t written = write(fd, line, static_cast<size_t>(length));
    (void)written;
    close(fd);
}

bool failing(const char *call) {
    const char *names = std::getenv("VORBO_FAKE_DGA_FAIL");
    if (!names)
        return false;
    std::string list = std::string(",") + names + ",";
    return list.find(std::string(",") + call + ",") != std::string::npos;
}

Status fake_get_video(Display *display, int screen, char **address, int *width, int *banksize,
                      int *memory) {
    // The one call made with root as the effective id.
    log_call("get_video euid %d", static_cast<int>(geteuid()));
    const char *path = std::getenv("VORBO_FAKE_DGA_MEMORY");
    if (failing("get_video") || !path)
        return 0;
    int fd = open(path, O_RDWR);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0 || status.st_size <= 0) {
        if (fd >= 0)
            close(fd);
        return 0;
    }
    memory_length = static_cast<size_t>(status.st_size);
    void *mapped = mmap(nullptr, memory_length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED)
        return 0;
    memory_address = static_cast<char *>(mapped);

    const char *line_width = std::getenv("VORBO_FAKE_DGA_LINE_WIDTH");
    const char *bank = std::getenv("VORBO_FAKE_DGA_BANKSIZE");
    *address = memory_address;
    *width = line_width ? std::atoi(line_width) : DisplayWidth(display, screen);
    *banksize = bank ? std::atoi(bank) : static_cast<int>(memory_length);
    *memory = static_cast<int>(memory_length / 1024);
    return 1;
}

Status fake_direct_video(Display *, int, int flags) {
    log_call("direct_video %d", flags);
    return 1;
}

Status fake_set_viewport(Display *, int, int x, int y) {
    log_call("set_viewport %d %d", x, y);
    // The presenter has cleared the visible area by now: keep a copy.
    const char *path = std::getenv("VORBO_FAKE_DGA_MEMORY");
    if (path && memory_address) {
        std::string copy = std::string(path) + ".open";
        if (FILE *file = std::fopen(copy.c_str(), "wb")) {
            std::fwrite(memory_address, 1, memory_length, file);
            std::fclose(file);
        }
    }
    return 1;
}

Status fake_get_viewport_size(Display *display, int screen, int *width, int *height) {
    if (failing("get_viewport_size")) {
        log_call("get_viewport_size failed");
        return 0;
    }
    int clock = 0;
    XF86VidModeModeLine line;
    if (!XF86VidModeGetModeLine(display, screen, &clock, &line))
        return 0;
    if (line.privsize > 0)
        XFree(line.c_private);
    *width = line.hdisplay;
    *height = line.vdisplay;
    log_call("get_viewport_size %d %d", *width, *height);
    return 1;
}

// As the DGA library does it: the caller goes on in a new process, and the
// one that was started waits, switches direct video off and ends.
int fake_fork_app(int) {
    if (failing("fork_app")) {
        log_call("fork_app failed");
        return -1;
    }
    pid_t show = fork();
    if (show < 0)
        return -1;
    if (show == 0) {
        log_call("fork_app %d", static_cast<int>(getpid()));
        return 0;
    }
    int status = 0;
    waitpid(show, &status, 0);
    log_call("waiter direct_video 0 status %d", status);
    _exit(WIFEXITED(status) ? 0 : 255);
}

// Takes the presenter's calls over before main runs.
struct install {
    install() {
        ptc_dga_video = {fake_get_video, fake_direct_video, fake_set_viewport,
                         fake_get_viewport_size, fake_fork_app};
    }
} installed;

} // namespace
