// The normals a loaded mesh is given: one per face, then one per position, appended to its coords.
#pragma once

#include "demo/3d/demo_3d.h"

#include <string>
#include <vector>

namespace demo {

// Appends face k's unit normal to mesh.coords and points the face at it, from
// the face's first three corners (a = p1 - p0 and b = p2 - p0 normalised,
// then a x b normalised). A face whose corners give no direction gets a zero
// normal, which the visibility test never passes, and is reported on standard
// error with its line (face_lines[k]) of the file name.
void add_face_normals(obj3d_c &mesh, const std::vector<int> &face_lines, const std::string &name);

// Appends one unit normal per position, the mean direction of the faces that
// use it (each face once), and points every corner at its position's normal.
// A position no face uses, or whose faces cancel out, gets a zero normal.
void add_vertex_normals(obj3d_c &mesh);

} // namespace demo
