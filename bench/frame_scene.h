// The show loaded into memory for frame measurements: media from the build's data/, a pinned clock.
//
// Shared by the frame benchmark and the callgrind frame driver. The frame is
// the one gfxinit allocates with nogfx set (as the program's -nogfx run has
// it); the clock is pinned by demo::time_source to a moment of a chosen scene.
#pragma once

#include "demo/demo.h"
#include "demo/image.h"
#include "demo/timeline.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef VORBO_BENCH_BINARY_DIR
#define VORBO_BENCH_BINARY_DIR "."
#endif

namespace frame_scene {

// The scenes measured: the middle second of each row of the show's script
// (the later one of two middles), its name and the picture file it shows
// (nullptr: none).
struct scene {
    unsigned second;
    const char *name;
    const char *picture;
    const demo::scene_s *row;
};

inline const std::vector<scene> &scenes() {
    static const std::vector<scene> list = [] {
        std::vector<scene> l;
        for (const demo::scene_s &row : demo::show_scenes)
            l.push_back(
                {row.first + (row.last - row.first + 1) / 2, row.name,
                 row.picture == demo::no_picture ? nullptr : demo::picture_files[row.picture],
                 &row});
        return l;
    }();
    return list;
}

// Directory holding data/: $VORBO_BINARY_DIR when set, else the build tree
// this was compiled for.
inline std::string binary_dir() {
    const char *env = std::getenv("VORBO_BINARY_DIR");
    return env && *env ? env : VORBO_BENCH_BINARY_DIR;
}

struct show {
    unsigned *frame = nullptr;
    unsigned **frame_lines = nullptr;
    std::string error; // empty when loaded
};

// Runs `load` with the working directory at binary_dir() and standard output
// sent to /dev/null (the mesh loader's progress lines would break up the
// benchmark table). The loaders end the process on a missing picture, so the
// directory is checked first. Returns an error text, empty on success.
template <typename F> std::string in_data_dir(F &&load) {
    const std::string dir = binary_dir();
    struct stat st;
    if (stat((dir + "/data/" + demo::picture_files[demo::picture_greet]).c_str(), &st) != 0)
        return "no media in " + dir + "/data (build the vorbo_data target or set VORBO_BINARY_DIR)";
    char here[4096];
    if (!getcwd(here, sizeof here) || chdir(dir.c_str()) != 0)
        return "cannot enter " + dir;
    std::fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    if (saved >= 0 && null >= 0)
        dup2(null, STDOUT_FILENO);
    load();
    std::fflush(stdout);
    if (saved >= 0) {
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    if (null >= 0)
        close(null);
    return chdir(here) == 0 ? "" : "cannot return to " + std::string(here);
}

// The frame buffer and media of the show, set up once per process.
inline const show &open_show() {
    static show s = [] {
        show r;
        r.error = in_data_dir([] {
            demo::nogfx = true;
            demo::gfxinit(640, 480);
            demo::do_init();
        });
        r.frame = demo::frame;
        r.frame_lines = demo::frame_lines;
        return r;
    }();
    // Other benchmarks in the same binary install frames of their own.
    demo::frame = s.frame;
    demo::frame_lines = s.frame_lines;
    demo::xres = 640;
    demo::yres = 480;
    demo::nogfx = true;
    return s;
}

// A scene's picture loaded a second time, as the floor's copy source.
inline demo::pic_s picture(const char *name) {
    demo::pic_s pic{0, 0, nullptr};
    if (name)
        in_data_dir([&] { demo::loadimage(name, pic); });
    return pic;
}

// The pinned clock: time() returns `pinned` while pin() is in force.
inline unsigned pinned = 0;
inline unsigned pinned_time() {
    return pinned;
}

// Pins the demo clock to pose k of `poses` moments spread evenly over the
// whole second `second` (microseconds k * 1000000 / poses).
inline void pin(unsigned second, unsigned k, unsigned poses) {
    pinned = (second << 20) | static_cast<unsigned>(k * 1000000ull / poses);
    demo::time_source = pinned_time;
}

inline void unpin() {
    demo::time_source = nullptr;
}

} // namespace frame_scene
