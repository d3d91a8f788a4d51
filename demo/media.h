// The show's media files under data/: the soundtrack, the six pictures and the two meshes.
#pragma once

namespace demo {

// The soundtrack module, as the sound library and the capture tool open it.
// The module generator writes it (the build reads the name from here).
inline constexpr const char *soundtrack_file = "data/test.xm";

// Picture files, in the order they load, as loadimage names them (it adds
// "data/" in front). The picture generator makes exactly these.
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

// Mesh files, in the order they load, as load_obj opens them. The build
// copies exactly these from assets/.
enum mesh_id { mesh_cube, mesh_f16, mesh_count, no_mesh = -1 };
inline constexpr const char *mesh_files[mesh_count] = {"data/cube.obj", "data/f16.obj"};

} // namespace demo
