// The show's script: what each second of the demo draws.
#include "demo/3d/demo_3d.h"
#include "demo/demo.h"
#include "demo/image.h"
#include "ptc/ptc.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace demo {

std::string demoname = "Vorbo returns";

namespace {

pic_s pic_silence;
pic_s pic_vorbo;
pic_s pic_iknow;
pic_s pic_greet;
pic_s pic_hand;
pic_s pic_blah;

obj3d_c obj_cube;
obj3d_c obj_f16;

unsigned curtime = 0;  // demo time of the current frame
unsigned subtime0 = 0; // its whole seconds: selects the scene

using draw_function = void (*)(const std::vector<fcoord3d_s> &, const polygon3d_c &);

// Left column that centres a picture horizontally (division truncates toward zero).
int centred(const pic_s &pic) {
    return frame_centre_x - pic.width / 2;
}

// Turns the mesh about all three axes and moves it along a circle of 10 units
// (50 pixels on screen) about the centre, clockwise, one turn about every
// 3 seconds, then draws it. t is the packed demo time, so both angles take a
// small extra step at every second boundary.
void animate(obj3d_c &mesh, double t, draw_function draw) {
    double phi = t * 1e-6;
    mesh.rotation.x = phi;
    mesh.rotation.y = phi;
    mesh.rotation.z = phi;
    double theta = t * 2e-6;
    mesh.position.x = 10 * std::sin(theta);
    mesh.position.z = 10 * std::cos(theta);
    mesh.draw_func(draw);
}

// The jet's drawing style: vorbo-window-legacy draws it flat for its first
// three seconds.
draw_function jet_style(unsigned s) {
#ifdef VORBO_LEGACY_SCENES
    if (s <= 36)
        return drawpoly3d_flat;
#else
    (void)s;
#endif
    return drawpoly3d_gourad;
}

void draw_scene(unsigned s, double t) {
    if (s <= 5) {
        drawimage(pic_silence, centred(pic_silence), 100);
    } else if (s <= 8) {
        drawimage(pic_vorbo, centred(pic_vorbo), 100);
    } else if (s <= 13) {
        face_colour_mode = 0;
        animate(obj_cube, t, drawpoly3d_flat);
    } else if (s <= 20) {
        drawimage(pic_iknow, 0, 0);
    } else if (s <= 27) {
        face_colour_mode = 1;
        drawimage(pic_iknow, 0, 0);
        animate(obj_cube, t, drawpoly3d_flat);
    } else if (s <= 33) {
        drawimage(pic_blah, centred(pic_blah), 100);
    } else if (s <= 43) {
        face_colour_mode = 0;
        drawimage(pic_blah, centred(pic_blah), 100);
        animate(obj_f16, t, jet_style(s));
    } else if (s <= 48) {
        drawimage(pic_hand, centred(pic_hand), 150);
    } else {
        drawimage(pic_greet, 0, 0);
    }
}

} // namespace

void do_init() {
    loadimage("silence.tga", pic_silence);
    loadimage("vorbo.tga", pic_vorbo);
    loadimage("iknow.tga", pic_iknow);
    loadimage("greet.tga", pic_greet);
    loadimage("hand.tga", pic_hand);
    loadimage("blah.tga", pic_blah);
    // A mesh that fails to load stays empty and draws nothing.
    obj_cube.load_obj("data/cube.obj");
    obj_f16.load_obj("data/f16.obj");
}

int do_frame() {
    curtime = time();
    subtime0 = curtime >> 20;
    clear(0);
    fireworks();
    if (subtime0 >= show_seconds)
        return 1;

    draw_scene(subtime0, static_cast<double>(curtime));

    if (nogfx)
        return 0;
    if (ptc_update(frame) == 1)
        return 0;
    std::printf("Failed!\n");
    ptc_close();
    std::exit(1);
}

} // namespace demo

void fireworks() {
    double t = static_cast<double>(demo::curtime);
    int row = static_cast<int>(std::sin(t * 2e-6) * 120 + demo::frame_centre_y);
    demo::frame_lines[row][500] = 0xff0000;
}
