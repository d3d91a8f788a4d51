// Test helpers for the 3D pipeline: a guarded frame buffer, OBJ files on disk, PNG files.
#pragma once

#include "demo/3d/demo_3d.h"
#include "demo/check.h"
#include "demo/demo.h"
#include "tests/support/captured_output.h"
#include "tests/support/guarded_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace test3d {

// A cube of side 2 about the origin, six four-corner faces in slash form,
// counter-clockwise seen from outside; face order -z, +z, -y, +x, +y, -x.
inline const char *const unit_cube_obj = "v -1 -1 -1\n"
                                         "v 1 -1 -1\n"
                                         "v 1 1 -1\n"
                                         "v -1 1 -1\n"
                                         "v -1 -1 1\n"
                                         "v 1 -1 1\n"
                                         "v 1 1 1\n"
                                         "v -1 1 1\n"
                                         "f 4/1/1 3/1/1 2/1/1 1/1/1\n"
                                         "f 5//2 6//2 7//2 8//2\n"
                                         "f 1/3 2/3 6/3 5/3\n"
                                         "f 2//4 3//4 7//4 6//4\n"
                                         "f 3//5 4//5 8//5 7//5\n"
                                         "f 4//6 1//6 5//6 8//6\n";

// The 3D tests' frame: rows without gaps, as gfxinit lays them out, cleared
// to 0 and inside guard words.
struct guarded_frame : vorbo_test::guarded_frame {
    guarded_frame() : vorbo_test::guarded_frame(vorbo_test::frame_rows::contiguous, 0) {}
};

// Writes text to a fresh file in the test's temporary directory; returns its path.
std::string write_file(const std::string &name, const std::string &text);

// Path of one of the show's meshes in the source tree.
std::string asset(const std::string &name);

// What loading an OBJ file returned and printed.
struct load_result {
    bool ok;
    std::string out, err;
};
load_result load(demo::obj3d_c &obj, const std::string &path);

// Loads an OBJ file from text with the loader's console output swallowed.
bool load_quietly(demo::obj3d_c &obj, const std::string &text);

// What running some drawing code reported: its standard error and how many
// internal checks failed.
struct reports {
    std::string err;
    unsigned long checks;
};
template <typename F> reports reported(F &&run) {
    const unsigned long before = demo::check_failure_count();
    std::string err = vorbo_test::stderr_of(run);
    return {err, demo::check_failure_count() - before};
}

// v is (x, y, z, w) to within 1e-12 in every component.
void expect_vec(const demo::fcoord3d_s &v, double x, double y, double z, double w);

// 640 x 480 PNG of the current frame (0x00RRGGBB as RGB) and back.
bool write_png(const std::string &path);
bool read_png(const std::string &path, std::vector<unsigned> &pixels);

} // namespace test3d
