// Meshes: the OBJ loader with computed normals, and per-frame transform, culling, depth sort,
// projection and flat, Gouraud or wireframe drawing through the 2D rasterizer.
#pragma once

#include "demo/2d/demo_2d.h"
#include "demo/3d/demo_matrix.h"

#include <string>
#include <vector>

// Colour of flat-shaded faces: 0 = each face's own colour, 1 = 0xFF8888 for
// every face. Set by the scene timeline; 0 at start.
extern int face_colour_mode;

namespace demo {

// One corner of a face: indices into the owning mesh's coords.
class vertex_c {
  public:
    int pos = 0;    // the corner's position (0-based)
    int normal = 0; // the vertex normal used for Gouraud shading
};

// One face: three or more corners, counter-clockwise seen from outside.
class polygon3d_c {
  public:
    std::vector<vertex_c> vertices;
    int normal = 0;             // index of the face normal in coords
    unsigned colour = 0x00FF00; // 0x00RRGGBB
};

// A function that draws one face with a mesh's transformed coordinates (what
// draw_func calls).
typedef void (*drawpoly3d_fn)(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly);

// A mesh. coords holds, after a successful load with P faces:
//   [0, nvertices)                  positions (w = 1)
//   [nvertices, nvertices + P)      face normals, face k's at nvertices + k (w = 0)
//   [nvertices + P, 2 nvertices + P) vertex normals, position i's at nvertices + P + i
class obj3d_c {
  public:
    fcoord3d_s position; // where the mesh stands; w is 1 after loading
    fcoord3d_s rotation; // angles in radians about X, Y and Z
    std::vector<fcoord3d_s> coords;
    unsigned nvertices;
    std::vector<polygon3d_c> polygons;

    // An empty mesh, at the origin with no rotation.
    obj3d_c();

    // Reads a Wavefront OBJ file (v, f; #, vn, g, vp, vt, usemtl, mtllib and
    // blank lines ignored) and computes face and vertex normals. A corner is
    // a position index, bare ("f 1 2 3") or with its slash suffix ("1/2/3",
    // "1//3", "1/2"); a negative index counts back from the latest "v" line
    // read so far (-1 is that one). Prints
    // "Loading object <name>...  done (<n> faces)". Returns false when the
    // file cannot be opened (the mesh is left as it was) or holds a face with
    // fewer than three corners or a corner naming no position (the mesh is
    // left empty). A "v" line without three numbers ends the process.
    bool load_obj(const std::string &name);
    // Placeholder: changes nothing, returns false.
    bool load_fake();

    // out[i] = world version of coords[i]: positions turned (Z, then Y, then
    // X) and moved to position, normals only turned. out must hold
    // coords.size() entries.
    void transform(std::vector<fcoord3d_s> &out) const;
    // Transforms, culls and sorts the faces, then calls fn once per visible
    // face, farthest first.
    void draw_func(drawpoly3d_fn fn) const;
    // Not implemented: reports a failed check "Not done" and draws nothing.
    void draw() const;
};

// True when a corner's position is the given index.
class vertex_pos_is {
  public:
    explicit vertex_pos_is(int pos) : pos(pos) {}
    bool operator()(const vertex_c &v) const { return v.pos == pos; }

  private:
    int pos;
};

// Sort order of faces: a before b when a's first corner is deeper (larger y).
class polygon3d_closer {
  public:
    explicit polygon3d_closer(const std::vector<fcoord3d_s> &coords) : coords(coords) {}
    bool operator()(const polygon3d_c *a, const polygon3d_c *b) const;

  private:
    const std::vector<fcoord3d_s> &coords;
};

// True when the face's normal points towards the viewer (its y is below 0);
// angle is then the angle between the normal and +y, in (pi/2, pi].
bool polygon3d_visible(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly,
                       double &angle);
// Appends the visible faces to out and sorts out farthest first.
void sortpolygon3d_backtofront(const std::vector<polygon3d_c> &polys,
                               const std::vector<fcoord3d_s> &coords,
                               std::vector<const polygon3d_c *> &out);
// Perspective projection, viewer at (0, -50, 0) looking along +y, focal
// length 500, image centre (320, 240). Sets out.x and out.y only. False when
// p lies in the viewer's plane (y = -50) or gives no number.
bool project(const fcoord3d_s &p, coord2d_s &out);

// The shade drawpoly3d_gourad gives a corner whose transformed vertex normal
// has y = d: the angle a = atan2(sqrt(1 - d*d), d) (the arc cosine of d, 1 - d*d
// held at 0 or more), t = a * 2/pi - 1 held in [0, 1] (NaN counting as 0),
// then t * 206 + 50 without its fraction: 50 for a normal edge-on or turned
// away, 256 for one facing the viewer.
shade_t vertex_shade(double d);

// Face drawing functions for draw_func. A face wholly in front of the near
// plane and inside the frame is drawn as projected; any other is cut to the
// part the viewer sees (demo/3d/face_clip.h), so no face fails a check
// wherever it stands. A projection that turns back in y is filled in pieces.
// Outline of the face in its own colour; no visibility test.
void drawpoly3d_wireframe(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly);
// Filled in one colour (see face_colour_mode), dimmed from 256/256 facing
// the viewer to 50/256 edge-on.
void drawpoly3d_flat(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly);
// Filled in the face's colour shaded per corner from its vertex normal.
void drawpoly3d_gourad(const std::vector<fcoord3d_s> &coords, const polygon3d_c &poly);
// A one-colour line between two world points; nothing when either lies in
// the viewer's plane (y = -50).
void drawline3d(const fcoord3d_s &a, const fcoord3d_s &b, unsigned int colour);

} // namespace demo
