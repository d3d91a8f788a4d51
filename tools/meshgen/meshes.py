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
    def face(self, idx, outward_ref):
        """outward_ref: a point inside the part; the face is wound so its normal points away."""
        pts=[self.v[i] for i in idx]
        n = newell(pts)
        c = mul(tuple(map(sum, zip(*pts))), 1/len(pts))
        if dot(n, sub(c, outward_ref)) < 0: idx = list(reversed(idx))
        self.f.append(list(idx))

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
# Model space: nose along +x, wings along +-y, up is +z.
SHAPE=[(1.0,0.0),(0.62,0.78),(-0.62,0.78),(-1.0,0.0),(-0.62,-0.72),(0.62,-0.72)]  # (y,z) of a section
def jet():
    m=Mesh()
    # fuselage stations: x, scale, centre z
    stations=[(13.5,1.0,-0.15),(8.5,1.9,0.0),(3.0,1.9,0.0),(-6.0,2.2,0.0),(-13.0,1.9,0.0),(-17.0,1.45,0.0)]
    tip=(19.0,0.0,-0.35)
    def fuselage():
        t=m.vert(tip)
        rings=[[m.vert((x,s*y,cz+s*z)) for (y,z) in SHAPE] for (x,s,cz) in stations]
        def axis(x): return (x,0,0)
        n=len(SHAPE)
        for k in range(n):
            a=rings[0][k]; b=rings[0][(k+1)%n]
            m.face([t,a,b], axis((tip[0]+stations[0][0])/2))
        for r in range(len(rings)-1):
            for k in range(n):
                q=[rings[r][k],rings[r][(k+1)%n],rings[r+1][(k+1)%n],rings[r+1][k]]
                m.face(q, axis((stations[r][0]+stations[r+1][0])/2))
        m.face(list(rings[-1]), axis(stations[-1][0]+1))   # nozzle
    group(m,"fuselage",fuselage)

    def canopy():
        top=stations[1][1]*SHAPE[1][1]   # flat top of the cockpit section
        base=[(8.4,1.0),(8.4,-1.0),(2.6,-1.0),(2.6,1.0)]
        ridge=[(6.4,0.6),(6.4,-0.6),(3.6,-0.6),(3.6,0.6)]
        b=[m.vert((x,y,top)) for x,y in base]
        r=[m.vert((x,y,top+1.55)) for x,y in ridge]
        ref=(5.5,0,top+0.4)
        m.face(r,ref)
        for k in range(4): m.face([b[k],b[(k+1)%4],r[(k+1)%4],r[k]],ref)
    group(m,"canopy",canopy)

    def plate(A, B, ref):
        """A thin plate between the two faces A and B (the same four-corner outline, offset
        across): both faces and three edges; the root edge (last corner to first) lies inside
        the fuselage and stays open."""
        m.face(A,ref); m.face(B,ref)
        for k in range(3): m.face([A[k],A[k+1],B[k+1],B[k]],ref)

    def wing(side):
        zc=-0.35; h=0.22
        out=[(5.5,1.6),(-9.0,12.0),(-12.8,12.0),(-14.0,1.6)]   # root lead, tip lead, tip trail, root trail
        T=[m.vert((x,side*y,zc+h)) for x,y in out]
        B=[m.vert((x,side*y,zc-h)) for x,y in out]
        plate(T,B,(-7,side*6,zc))
    group(m,"wing_right",lambda: wing(-1))
    group(m,"wing_left",lambda: wing(1))

    def stabiliser(side):
        zc=0.0; h=0.14
        out=[(-11.5,1.3),(-16.2,6.6),(-18.3,6.6),(-17.0,1.3)]
        T=[m.vert((x,side*y,zc+h)) for x,y in out]
        B=[m.vert((x,side*y,zc-h)) for x,y in out]
        plate(T,B,(-15.5,side*4,zc))
    group(m,"stabiliser_right",lambda: stabiliser(-1))
    group(m,"stabiliser_left",lambda: stabiliser(1))

    def fin():
        h=0.2
        out=[(-7.5,1.55),(-13.6,8.6),(-17.0,8.6),(-17.0,1.05)]   # (x,z)
        L=[m.vert((x,h,z)) for x,z in out]
        R=[m.vert((x,-h,z)) for x,z in out]
        plate(L,R,(-14,0,4))
    group(m,"fin",fin)

    def intake():
        w=1.05; ztop=-1.15; zbot=-2.55
        # (x,z) side outline: lip forward at the bottom, fairing sloping back at the top
        side=[(4.6,zbot),(3.2,ztop),(-6.5,ztop),(-4.2,zbot)]
        L=[m.vert((x,w,z)) for x,z in side]
        R=[m.vert((x,-w,z)) for x,z in side]
        ref=(-0.5,0,-1.9)
        m.face(L,ref); m.face(R,ref)
        # front (mouth), back, bottom; the top lies inside the fuselage
        m.face([L[0],L[1],R[1],R[0]],ref)
        m.face([L[2],L[3],R[3],R[2]],ref)
        m.face([L[3],L[0],R[0],R[3]],ref)
    group(m,"intake",intake)
    return m

if __name__=="__main__":
    c=cube(); j=jet()
    ok=check(c,"cube") & check(j,"jet")
    write(c, sys.argv[1]+"/cube.obj", ["A cube, 20 units on a side, centred on its origin."])
    write(j, sys.argv[1]+"/f16.obj", ["A low-poly jet fighter: nose along +x, wings along y, up is +z.",
        "Fuselage of six-sided sections, canopy, cropped delta wings, stabilisers, tail fin, intake."])
    sys.exit(0 if ok else 1)
