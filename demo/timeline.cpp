// The show's script: its media, and what each second shows, as a table of scenes.
#include "demo/timeline.h"

#include "demo/demo.h"
#include "demo/image.h"

#include <cmath>
#include <iterator>

namespace demo {

namespace {

pic_s pic_silence;
pic_s pic_vorbo;
pic_s pic_iknow;
pic_s pic_greet;
pic_s pic_hand;
pic_s pic_blah;

obj3d_c obj_cube;
obj3d_c obj_f16;

// In the order of picture_files and mesh_files.
pic_s *const pictures[picture_count] = {&pic_silence, &pic_vorbo, &pic_iknow,
                                        &pic_greet,   &pic_hand,  &pic_blah};
obj3d_c *const meshes[mesh_count] = {&obj_cube, &obj_f16};

constexpr int keep = keep_face_colours;

// clang-format off
const scene_s show_rows[] = {
    // first last  name               picture          centred top face colours mesh       drawn with
    { 0,     5,    "silence",         picture_silence, true,   100, keep,        no_mesh,   nullptr},
    { 6,     8,    "vorbo",           picture_vorbo,   true,   100, keep,        no_mesh,   nullptr},
    { 9,    13,    "cube_flat",       no_picture,      false,    0, 0,           mesh_cube, drawpoly3d_flat},
    {14,    20,    "iknow",           picture_iknow,   false,    0, keep,        no_mesh,   nullptr},
    {21,    27,    "iknow_cube_flat", picture_iknow,   false,    0, 1,           mesh_cube, drawpoly3d_flat},
    {28,    33,    "blah",            picture_blah,    true,   100, keep,        no_mesh,   nullptr},
    {34,    43,    "blah_jet_gourad", picture_blah,    true,   100, 0,           mesh_f16,  drawpoly3d_gourad},
    {44,    48,    "hand",            picture_hand,    true,   150, keep,        no_mesh,   nullptr},
    {49,    58,    "greet",           picture_greet,   false,    0, keep,        no_mesh,   nullptr},
};

const scene_s window_legacy_rows[] = {
    {34,    36,    "blah_jet_flat",   picture_blah,    true,   100, 0,           mesh_f16,  drawpoly3d_flat},
};
// clang-format on

// Turns the mesh about all three axes and moves it along a circle of 10 units
// (50 pixels on screen) about the centre, clockwise, one turn about every
// 3 seconds, then draws it. t is the packed demo time, so both angles take a
// small extra step at every second boundary.
void animate(obj3d_c &mesh, double t, drawpoly3d_fn draw) {
    double phi = t * 1e-6;
    mesh.rotation.x = phi;
    mesh.rotation.y = phi;
    mesh.rotation.z = phi;
    double theta = t * 2e-6;
    mesh.position.x = 10 * std::sin(theta);
    mesh.position.z = 10 * std::cos(theta);
    mesh.draw_func(draw);
}

} // namespace

const scene_table show_scenes = {show_rows, std::size(show_rows)};
const scene_table window_legacy_scenes = {window_legacy_rows, std::size(window_legacy_rows)};

const scene_s *scene_at(unsigned s) {
    for (const scene_table *table : {&program_scenes, &show_scenes})
        for (const scene_s &scene : *table)
            if (scene.first <= s && s <= scene.last)
                return &scene;
    return nullptr;
}

void draw_scene(const scene_s &scene, double t) {
    if (scene.face_colours != keep_face_colours)
        face_colour_mode = scene.face_colours;
    if (scene.picture != no_picture) {
        const pic_s &pic = *pictures[scene.picture];
        drawimage(pic, scene.centred ? frame_centre_x - pic.width / 2 : 0, scene.top);
    }
    if (scene.mesh != no_mesh)
        animate(*meshes[scene.mesh], t, scene.draw);
}

void do_init() {
    for (int i = 0; i < picture_count; ++i)
        loadimage(picture_files[i], *pictures[i]);
    // A mesh that fails to load stays empty and draws nothing.
    for (int i = 0; i < mesh_count; ++i)
        meshes[i]->load_obj(mesh_files[i]);
}

} // namespace demo
