#!/usr/bin/env python3
"""Writes the showcase's models as Wavefront OBJ files into the production folder, where
korpack build turns each NAME.obj into the mesh file NAME.mesh.

    productions/showcase/scripts/make_models.py

The OBJ files are kept in the repository; run this only to change the models.
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.dirname(HERE)


def fmt(values):
    return " ".join("%.6g" % (0.0 if abs(v) < 5e-7 else v) for v in values)


def write(name, comment, positions, coords, normals, faces):
    """faces: lists of (position, coordinate, normal) index triples, 0-based."""
    lines = ["# %s" % comment, "# Written by scripts/make_models.py."]
    lines += ["v " + fmt(p) for p in positions]
    lines += ["vt " + fmt(t) for t in coords]
    lines += ["vn " + fmt(n) for n in normals]
    for face in faces:
        lines.append("f " + " ".join("%d/%d/%d" % (p + 1, t + 1, n + 1) for p, t, n in face))
    with open(os.path.join(OUT, name), "w") as out:
        out.write("\n".join(lines) + "\n")


def torus(major=1.0, minor=0.38, rings=32, sides=16):
    """A smooth torus about the y axis; coordinates wrap once around each circle."""
    positions, coords, normals, faces = [], [], [], []
    for i in range(rings + 1):
        u = 2 * math.pi * i / rings
        for j in range(sides + 1):
            v = 2 * math.pi * j / sides
            n = (math.cos(v) * math.cos(u), math.sin(v), math.cos(v) * math.sin(u))
            positions.append((major * math.cos(u) + minor * n[0], minor * n[1],
                              major * math.sin(u) + minor * n[2]))
            normals.append(n)
            coords.append((i / rings, j / sides))
    def at(i, j):
        k = i * (sides + 1) + j
        return (k, k, k)
    for i in range(rings):
        for j in range(sides):
            faces.append([at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)])
    write("torus.obj", "A torus of radius 1 and tube radius 0.38 about the y axis.",
          positions, coords, normals, faces)


def cube(half=0.5):
    """A cube with flat faces: each face has its own four vertices."""
    positions = [(x, y, z) for x in (-half, half) for y in (-half, half) for z in (-half, half)]
    def corner(x, y, z):
        return (x > 0) * 4 + (y > 0) * 2 + (z > 0)
    coords = [(0, 0), (1, 0), (1, 1), (0, 1)]
    normals = [(1, 0, 0), (-1, 0, 0), (0, 1, 0), (0, -1, 0), (0, 0, 1), (0, 0, -1)]
    faces = []
    for n, (nx, ny, nz) in enumerate(normals):
        # Two axes spanning the face, b = n x a, so that (a, b) runs counter-clockwise seen
        # from outside.
        a = (ny, nz, nx)
        b = (ny * a[2] - nz * a[1], nz * a[0] - nx * a[2], nx * a[1] - ny * a[0])
        corners = []
        for k, (s, t) in enumerate([(-1, -1), (1, -1), (1, 1), (-1, 1)]):
            x = nx + s * a[0] + t * b[0]
            y = ny + s * a[1] + t * b[1]
            z = nz + s * a[2] + t * b[2]
            corners.append((corner(x, y, z), k, n))
        faces.append(corners)
    write("cube.obj", "A unit cube about the origin with flat faces.",
          positions, coords, normals, faces)


def sphere(radius=1.0):
    """A low-poly sphere: an icosahedron split once (80 faces), each face flat."""
    t = (1 + math.sqrt(5)) / 2
    ico = [(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0), (0, -1, t), (0, 1, t),
           (0, -1, -t), (0, 1, -t), (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)]
    tris = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9), (5, 11, 4),
            (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8),
            (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    def unit(p):
        length = math.sqrt(sum(c * c for c in p))
        return tuple(c / length for c in p)
    points = [unit(p) for p in ico]
    middle = {}
    def mid(a, b):
        key = (min(a, b), max(a, b))
        if key not in middle:
            points.append(unit(tuple((points[a][k] + points[b][k]) / 2 for k in range(3))))
            middle[key] = len(points) - 1
        return middle[key]
    split = []
    for a, b, c in tris:
        ab, bc, ca = mid(a, b), mid(b, c), mid(c, a)
        split += [(a, ab, ca), (b, bc, ab), (c, ca, bc), (ab, bc, ca)]
    positions = [tuple(radius * c for c in p) for p in points]
    coords = [(0.5 + math.atan2(p[2], p[0]) / (2 * math.pi), 0.5 + math.asin(p[1]) / math.pi)
              for p in points]
    normals, faces = [], []
    for a, b, c in split:
        pa, pb, pc = points[a], points[b], points[c]
        u = [pb[k] - pa[k] for k in range(3)]
        v = [pc[k] - pa[k] for k in range(3)]
        n = unit((u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]))
        if sum(n[k] * pa[k] for k in range(3)) < 0:
            b, c, n = c, b, tuple(-x for x in n)
        normals.append(n)
        f = len(normals) - 1
        faces.append([(a, a, f), (b, b, f), (c, c, f)])
    write("sphere.obj", "A low-poly sphere of radius 1: an icosahedron split once, flat faces.",
          positions, coords, normals, faces)


def quad(half=0.5):
    """A square in the xy plane facing +z, for sprites that turn to the camera."""
    positions = [(-half, -half, 0), (half, -half, 0), (half, half, 0), (-half, half, 0)]
    coords = [(0, 0), (1, 0), (1, 1), (0, 1)]
    write("quad.obj", "A unit square in the xy plane, facing +z.", positions, coords,
          [(0, 0, 1)], [[(k, k, 0) for k in range(4)]])


torus()
cube()
sphere()
quad()
