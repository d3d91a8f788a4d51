// The show's media files under data/: the six pictures and the two meshes, in the order they load.
#pragma once

namespace demo {

// Picture files, as loadimage names them (it adds "data/" in front). The
// picture generator makes exactly these.
enum picture_id {
    picture_silence,
    picture_vorbo,
    picture_iknow,
    picture_greet,
    picture_hand,
    picture_blah,
    picture_count,
    no_picture = -1
};
inline constexpr const char *picture_files[picture_count] = {
    "silence.tga", "vorbo.tga", "iknow.tga", "greet.tga", "hand.tga", "blah.tga"};

// Mesh files, as load_obj opens them.
enum mesh_id { mesh_cube, mesh_f16, mesh_count, no_mesh = -1 };
inline constexpr const char *mesh_files[mesh_count] = {"data/cube.obj", "data/f16.obj"};

} // namespace demo
