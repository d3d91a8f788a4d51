// The lip-sync measurement's eye: polls the screen's pixels and notes when each scene first shows.
//
// vorbo-av-sync watch LOG_FILE
//
// Reads the top-left 640 x 480 pixels of the root window of $DISPLAY (where
// a 640 x 480 screen shows the frame) about every 2 ms, and tells the
// show's scene from them: each scene's picture is drawn by the timeline
// itself (media from data/ in the current directory), the nearest picture on
// a 4-pixel grid names the scene, and where two scenes share a picture, a
// mesh over it (many grid points off the picture) tells the later one. Each
// change is one line of LOG_FILE: the scene's first second, and the
// CLOCK_MONOTONIC nanoseconds of the last grab before it showed and of the
// first that showed it (each the middle of its request). Ends on SIGTERM.
#include "bench/av_sync.h"
#include "demo/demo.h"
#include "demo/timeline.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#include <vector>

namespace av_sync {

namespace {

std::atomic<bool> stop_asked{false};
extern "C" void on_watch_stop(int) {
    stop_asked = true;
}

constexpr int grid = 4;
// Grid points off the picture that mean a mesh is drawn over it (a mesh
// covers hundreds; the red dot one).
constexpr int mesh_points = 30;

struct reference {
    unsigned first_second;
    bool has_mesh;
    std::vector<unsigned> pixels; // the picture alone, on the grid
};

std::vector<unsigned> on_grid(const unsigned *frame, int pitch) {
    std::vector<unsigned> points;
    for (int y = 0; y < demo::frame_height; y += grid)
        for (int x = 0; x < demo::frame_width; x += grid)
            points.push_back(frame[y * pitch + x] & 0xffffff);
    return points;
}

int differences(const std::vector<unsigned> &a, const std::vector<unsigned> &b) {
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// The first second of the scene on screen, or -1 for none of them (a black
// screen before the show).
int scene_shown(const std::vector<reference> &scenes, const std::vector<unsigned> &screen) {
    int best = -1, best_differences = 0;
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        const int d = differences(scenes[i].pixels, screen);
        if (best < 0 || d < best_differences) {
            best = static_cast<int>(i);
            best_differences = d;
        }
    }
    const bool mesh = best_differences > mesh_points;
    // Among the scenes with this picture, the one with a mesh or without.
    int chosen = -1;
    for (std::size_t i = 0; i < scenes.size(); ++i)
        if (scenes[i].pixels == scenes[best].pixels && scenes[i].has_mesh == mesh)
            chosen = static_cast<int>(i);
    return chosen < 0 ? -1 : static_cast<int>(scenes[chosen].first_second);
}

} // namespace

int watch(int argc, char **argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: vorbo-av-sync watch LOG_FILE\n");
        return 2;
    }
    std::FILE *log = std::fopen(argv[0], "w");
    if (!log) {
        std::perror("vorbo-av-sync watch");
        return 1;
    }
    std::signal(SIGTERM, on_watch_stop);
    std::signal(SIGINT, on_watch_stop);

    // The scenes' pictures, drawn by the timeline into its own frame.
    demo::nogfx = true;
    if (!demo::gfxinit(demo::frame_width, demo::frame_height))
        return 1;
    demo::do_init();
    std::vector<reference> scenes;
    for (const demo::scene_s &row : demo::show_scenes) {
        demo::scene_s picture_only = row;
        picture_only.mesh = demo::no_mesh;
        demo::clear(0);
        demo::draw_scene(picture_only, 0.0);
        scenes.push_back(
            {row.first, row.mesh != demo::no_mesh, on_grid(demo::frame, demo::frame_pitch)});
    }

    Display *display = XOpenDisplay(nullptr);
    if (!display || !XShmQueryExtension(display)) {
        std::fprintf(stderr, "vorbo-av-sync watch: no display with MIT-SHM\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    XShmSegmentInfo segment{};
    XImage *image =
        XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                        ZPixmap, nullptr, &segment, demo::frame_width, demo::frame_height);
    if (!image || image->bits_per_pixel != 32) {
        std::fprintf(stderr,
                     "vorbo-av-sync watch: the screen must have 32-bit pixels (depth 24)\n");
        return 1;
    }
    segment.shmid =
        shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * image->height,
               IPC_CREAT | 0600);
    segment.shmaddr = image->data = static_cast<char *>(shmat(segment.shmid, nullptr, 0));
    segment.readOnly = False;
    XShmAttach(display, &segment);
    XSync(display, False);
    shmctl(segment.shmid, IPC_RMID, nullptr);

    std::printf("watching\n");
    std::fflush(stdout);
    int shown = -1;
    std::int64_t last = 0;
    long long grabs = 0;
    std::int64_t longest_gap = 0;
    while (!stop_asked) {
        const std::int64_t before = now_ns();
        XShmGetImage(display, RootWindow(display, screen), image, 0, 0, AllPlanes);
        const std::int64_t when = (before + now_ns()) / 2;
        ++grabs;
        if (last && when - last > longest_gap)
            longest_gap = when - last;
        const int scene = scene_shown(
            scenes, on_grid(reinterpret_cast<unsigned *>(image->data), image->bytes_per_line / 4));
        if (scene != shown) {
            std::fprintf(log, "%d %lld %lld\n", scene, static_cast<long long>(last),
                         static_cast<long long>(when));
            std::fflush(log);
            shown = scene;
        }
        last = when;
        usleep(1500);
    }
    std::fprintf(log, "# grabs %lld longest_gap_ns %lld\n", grabs,
                 static_cast<long long>(longest_gap));
    std::fclose(log);
    XShmDetach(display, &segment);
    shmdt(segment.shmaddr);
    XCloseDisplay(display);
    return 0;
}

} // namespace av_sync
