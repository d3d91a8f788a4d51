// The scene timeline, frame by frame, with the clock moved through the show and a recording
// presenter.
#include "demo/3d/demo_3d.h"
#include "demo/demo.h"
#include "demo/image.h"
#include "demo/timeline.h"
#include "ptc/ptc.h"
#include "tests/support/wall_clock.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// A presenter that records what the timeline hands it.
namespace {
int updates = 0;
int update_result = 1;
bool report_close = false;
} // namespace

int ptc_open(const char *, int, int) {
    return 1;
}
const char *ptc_failure_reason() {
    return "";
}
int ptc_update(void *) {
    ++updates;
    return update_result;
}
int ptc_process_events() {
    return 0;
}
void ptc_close() {
    if (report_close)
        std::printf("[presenter closed]\n");
}

namespace {

using vorbo_test::wall_seconds;

// Draws the frame of second s of the show by moving the clock's origin, and
// returns do_frame's result. Retries if a wall-clock second passed meanwhile.
int frame_at(unsigned s) {
    for (;;) {
        std::time_t now = wall_seconds();
        demo::starttime = now - s;
        int result = demo::do_frame();
        if (wall_seconds() == now)
            return result;
    }
}

unsigned at(int x, int y) {
    return demo::frame_lines[y][x];
}

// True when the frame shows pic with its top-left corner at (x, y), apart
// from pixels listed by skip.
template <typename Skip> bool shows(const demo::pic_s &pic, int x, int y, Skip skip) {
    for (int r = 0; r < pic.height; ++r)
        for (int c = 0; c < pic.width; ++c)
            if (!skip(x + c, y + r) && at(x + c, y + r) != pic.pixels[r * pic.width + c])
                return false;
    return true;
}
bool shows(const demo::pic_s &pic, int x, int y) {
    return shows(pic, x, y, [](int, int) { return false; });
}

// Everything outside the rectangle is black, apart from the red dot.
bool black_outside(int x0, int y0, int w, int h) {
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
            if (!inside && at(x, y) != 0 && !(x == 500 && at(x, y) == 0xff0000))
                return false;
        }
    return true;
}

demo::pic_s load(const char *name) {
    demo::pic_s pic{};
    demo::loadimage(name, pic);
    return pic;
}

class Timeline : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(chdir(VORBO_BINARY_DIR), 0);
        demo::nogfx = false;
        ASSERT_EQ(demo::gfxinit(640, 480), 1);
        demo::do_init();
        silence = load("silence.tga");
        vorbo = load("vorbo.tga");
        iknow = load("iknow.tga");
        greet = load("greet.tga");
        hand = load("hand.tga");
        blah = load("blah.tga");
    }
    void SetUp() override {
        demo::nogfx = false;
        update_result = 1;
    }
    static demo::pic_s silence, vorbo, iknow, greet, hand, blah;
};
demo::pic_s Timeline::silence, Timeline::vorbo, Timeline::iknow, Timeline::greet, Timeline::hand,
    Timeline::blah;

int centred(const demo::pic_s &pic) {
    return 320 - pic.width / 2;
}

TEST_F(Timeline, PicturesAppearInTheirSecondsAndPlaces) {
    struct Scene {
        unsigned s;
        const demo::pic_s *pic;
        bool centre;
        int y;
    };
    const Scene scenes[] = {
        {0, &silence, true, 100}, {5, &silence, true, 100}, {6, &vorbo, true, 100},
        {8, &vorbo, true, 100},   {14, &iknow, false, 0},   {20, &iknow, false, 0},
        {28, &blah, true, 100},   {33, &blah, true, 100},   {44, &hand, true, 150},
        {48, &hand, true, 150},   {49, &greet, false, 0},   {58, &greet, false, 0}};
    for (const Scene &scene : scenes) {
        SCOPED_TRACE(scene.s);
        int before = updates;
        ASSERT_EQ(frame_at(scene.s), 0);
        EXPECT_EQ(updates, before + 1);
        int x = scene.centre ? centred(*scene.pic) : 0;
        EXPECT_TRUE(shows(*scene.pic, x, scene.y));
        EXPECT_TRUE(black_outside(x, scene.y, scene.pic->width, scene.pic->height));
    }
}

// The colours a mesh leaves on the frame where it differs from what lies under it.
std::set<unsigned> mesh_colours(const demo::pic_s *under, int x0, int y0) {
    std::set<unsigned> colours;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            unsigned below = 0;
            if (under && x >= x0 && x < x0 + under->width && y >= y0 && y < y0 + under->height)
                below = under->pixels[(y - y0) * under->width + (x - x0)];
            if (at(x, y) != below && !(x == 500 && at(x, y) == 0xff0000))
                colours.insert(at(x, y));
        }
    return colours;
}

TEST_F(Timeline, CubeIsGreenAloneThenPinkOverThePicture) {
    for (unsigned s : {9u, 11u, 13u}) {
        SCOPED_TRACE(s);
        frame_at(s);
        EXPECT_EQ(face_colour_mode, 0);
        std::set<unsigned> colours = mesh_colours(nullptr, 0, 0);
        ASSERT_FALSE(colours.empty());
        // Flat faces: one shade of green per visible face.
        EXPECT_LE(colours.size(), 3u);
        for (unsigned c : colours)
            EXPECT_EQ(c & 0xFF00FF, 0u) << std::hex << c;
    }
    for (unsigned s : {21u, 24u, 27u}) {
        SCOPED_TRACE(s);
        frame_at(s);
        EXPECT_EQ(face_colour_mode, 1);
        std::set<unsigned> colours = mesh_colours(&iknow, 0, 0);
        ASSERT_FALSE(colours.empty());
        // Shades of 0xFF8888: green and blue equal and below red. A face
        // pixel may coincide with the picture, so count only what differs.
        for (unsigned c : colours) {
            unsigned r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
            EXPECT_EQ(g, b) << std::hex << c;
            EXPECT_GT(r, g) << std::hex << c;
        }
    }
}

TEST_F(Timeline, FaceColourModeCarriesOverScenesWithoutAFlatMesh) {
    frame_at(10);
    frame_at(14);
    EXPECT_EQ(face_colour_mode, 0);
    frame_at(22);
    frame_at(30);
    EXPECT_EQ(face_colour_mode, 1);
    frame_at(34);
    EXPECT_EQ(face_colour_mode, 0);
}

TEST_F(Timeline, JetIsGouraudShadedOverItsPicture) {
    for (unsigned s : {34u, 36u, 37u, 43u}) {
        SCOPED_TRACE(s);
        frame_at(s);
        EXPECT_TRUE(shows(blah, centred(blah), 100, [&](int x, int y) {
            // The jet covers part of the picture; only its own pixels may differ.
            unsigned c = at(x, y);
            return (c & 0xFF00FF) == 0 && (c & 0xFF00) != 0;
        }));
        std::set<unsigned> colours = mesh_colours(&blah, centred(blah), 100);
        // Gouraud shading: many shades of green, nothing else.
        EXPECT_GT(colours.size(), 20u);
        for (unsigned c : colours)
            EXPECT_EQ(c & 0xFF00FF, 0u) << std::hex << c;
    }
}

unsigned fixed_time = 0;

int dot_row(unsigned t) {
    return static_cast<int>(std::sin(t * 2e-6) * 120 + 240);
}

TEST_F(Timeline, RedDotSwingsInColumn500UnderTheScene) {
    demo::time_source = [] { return fixed_time; };
    for (unsigned micros = 0; micros < 1000000; micros += 62500) {
        // Second 9 shows the cube alone: the dot is red unless a face hides it.
        fixed_time = 9u << 20 | micros;
        demo::do_frame();
        int row = dot_row(fixed_time);
        ASSERT_GE(row, 120);
        ASSERT_LE(row, 360);
        unsigned c = at(500, row);
        EXPECT_TRUE(c == 0xff0000 || (c & 0xFF00FF) == 0) << std::hex << c;
        // Second 14 shows a full-screen picture, which hides it.
        fixed_time = 14u << 20 | micros;
        demo::do_frame();
        row = dot_row(fixed_time);
        EXPECT_EQ(at(500, row), iknow.pixels[row * 640 + 500]);
    }
    demo::time_source = nullptr;
}

TEST(Script, EverySecondOfTheShowHasOneRowAndTheLegacyRowsLieInsideIt) {
    unsigned next = 0;
    for (const demo::scene_s &scene : demo::show_scenes) {
        EXPECT_EQ(scene.first, next) << scene.name;
        EXPECT_LE(scene.first, scene.last) << scene.name;
        EXPECT_EQ(scene.mesh == demo::no_mesh, scene.draw == nullptr) << scene.name;
        next = scene.last + 1;
    }
    EXPECT_EQ(next, demo::show_seconds);
    for (unsigned s = 0; s < demo::show_seconds; ++s)
        EXPECT_NE(demo::scene_at(s), nullptr) << s;
    EXPECT_EQ(demo::scene_at(demo::show_seconds), nullptr);
    // This program plays the show as scripted.
    EXPECT_EQ(demo::program_scenes.count, 0u);
    for (const demo::scene_s &scene : demo::window_legacy_scenes) {
        const demo::scene_s *shown = demo::scene_at(scene.first);
        EXPECT_LE(shown->first, scene.first);
        EXPECT_GE(shown->last, scene.last);
        EXPECT_EQ(shown->picture, scene.picture);
        EXPECT_EQ(shown->mesh, scene.mesh);
    }
}

TEST_F(Timeline, ShowEndsAtSecond59WithoutPresenting) {
    int before = updates;
    EXPECT_EQ(frame_at(59), 1);
    EXPECT_EQ(frame_at(4095), 1); // a clock set back before the start wraps
    EXPECT_EQ(updates, before);
}

TEST_F(Timeline, WithoutGraphicsNothingIsPresented) {
    demo::nogfx = true;
    int before = updates;
    for (unsigned s : {0u, 10u, 25u, 40u, 58u})
        EXPECT_EQ(frame_at(s), 0);
    EXPECT_EQ(updates, before);
}

TEST_F(Timeline, FailedPresentPrintsClosesAndExits) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        update_result = 0;
        report_close = true;
        frame_at(3);
        _exit(99); // not reached: the failed present ends the process
    }
    close(pipe_ends[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, n);
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(out, "Failed!\n[presenter closed]\n");
}

} // namespace
