// The meshes' motion in a 50 fps capture: even on the capture's own clock, stepped once a second on
// the demo clock of the four other programs.
#include "demo/demo.h"
#include "demo/timeline.h"
#include "tools/capture/capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int fps = 50;

unsigned drawn_time = 0;
unsigned read_drawn_time() {
    return drawn_time;
}

struct point {
    double x, y;
};

// The centre of the pixels the mesh covers in frame k: the frame as the
// capture draws it, against the same scene's picture alone.
point mesh_centre(long long k, capture::frame_clock clock) {
    drawn_time = capture::frame_time(k, fps, clock);
    demo::scene_s picture_only = *demo::scene_at(drawn_time >> 20);
    picture_only.mesh = demo::no_mesh;
    demo::clear(0);
    demo::draw_scene(picture_only, 0.0);
    const std::vector<unsigned> picture(demo::frame, demo::frame + demo::frame_pixels);
    EXPECT_EQ(demo::do_frame(), 0);
    double x = 0, y = 0, n = 0;
    for (int i = 0; i < demo::frame_pixels; ++i)
        if (demo::frame[i] != picture[i] && i % demo::frame_width != 500) { // not the red dot
            x += i % demo::frame_width;
            y += i / demo::frame_width;
            ++n;
        }
    EXPECT_GT(n, 100) << "frame " << k;
    return {x / n, y / n};
}

// The largest step of the mesh's centre across a second boundary, as a
// multiple of its median step from frame to frame around it (the ten steps
// nearest it: the mesh's speed on screen changes as it comes nearer and goes
// away on its circle), over the mesh scenes.
double worst_boundary_step(capture::frame_clock clock) {
    double worst = 0;
    for (const demo::scene_s &scene : demo::show_scenes) {
        if (scene.mesh == demo::no_mesh)
            continue;
        const long long first = scene.first * static_cast<long long>(fps);
        const long long end = (scene.last + 1LL) * fps;
        std::vector<double> steps; // steps[i]: from frame first + i to the next
        point before = mesh_centre(first, clock);
        for (long long k = first + 1; k < end; ++k) {
            const point now = mesh_centre(k, clock);
            steps.push_back(std::hypot(now.x - before.x, now.y - before.y));
            before = now;
        }
        for (long long b = first + fps; b < end; b += fps) {
            const std::size_t at = static_cast<std::size_t>(b - 1 - first); // into frame b
            std::vector<double> around;
            for (std::size_t i = at - 5; i <= at + 5 && i < steps.size(); ++i)
                if (i != at)
                    around.push_back(steps[i]);
            std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
            worst = std::max(worst, steps[at] / around[around.size() / 2]);
        }
    }
    return worst;
}

class Motion : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        demo::nogfx = true;
        demo::nosound = true;
        ASSERT_EQ(chdir(VORBO_BINARY_DIR), 0);
        ASSERT_EQ(demo::gfxinit(demo::frame_width, demo::frame_height), 1);
        demo::do_init();
        demo::time_source = read_drawn_time;
    }
    static void TearDownTestSuite() { demo::time_source = nullptr; }
};

TEST_F(Motion, MeshesMoveWithoutAStepAtSecondBoundaries) {
    const double worst = worst_boundary_step(capture::frame_clock::continuous);
    std::printf("largest step at a second boundary: %.2f times the median around it\n", worst);
    EXPECT_LE(worst, 1.3);
}

TEST_F(Motion, TheStepsOfTheDemoClockAreStillThereOnTheSteppedClock) {
    // What the four programs draw, and what the measure above would catch.
    const double worst = worst_boundary_step(capture::frame_clock::stepped);
    std::printf("largest step at a second boundary: %.2f times the median around it\n", worst);
    EXPECT_GE(worst, 2.5);
}

} // namespace
