#!/usr/bin/env python3
"""Writes the seeds of project_load_fuzz from a built asset pack: its project
record with every texture cropped to 2 x 2 pixels and every mesh cut to its
first triangles, its objects one by one as projects of their own, and one
material (the pack has none) that names the first of its textures.
Usage: tests/fuzz/project_seeds.py <build>/assets/asset_pack.bin [folder]"""
import os
import struct
import sys


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, n):
        block = self.data[self.at:self.at + n]
        if len(block) != n:
            sys.exit("the pack ends inside a record")
        self.at += n
        return block

    def u32(self):
        return struct.unpack('<I', self.take(4))[0]

    def string(self):
        return self.take(self.u32())


def u32(v):
    return struct.pack('<I', v)


def string(b):
    return u32(len(b)) + b


def texture(r):
    """A texture record, cropped to its first two pixels of its first two rows."""
    name = r.string()
    width, height, pitch, fmt = (r.u32() for _ in range(4))
    pixels = r.take(height * pitch)
    rows = [pixels[y * pitch:y * pitch + 8] for y in range(min(height, 2))]
    return string(name) + u32(2) + u32(len(rows)) + u32(8) + u32(fmt) + b''.join(rows)


def node(r, triangles):
    """An object or mesh record, meshes cut to `triangles` triangles."""
    kind = r.u32()
    out = u32(kind) + string(r.string()) + r.take(36)
    count = r.u32()
    out += u32(count) + b''.join(node(r, triangles) for _ in range(count))
    if kind == 1:
        t = r.u32()
        vertices, normals = r.take(36 * t), r.take(36 * t)
        keep = min(t, triangles)
        out += u32(keep) + vertices[:36 * keep] + normals[:36 * keep]
    return out


def main():
    pack = open(sys.argv[1], 'rb').read()
    folder = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), 'corpus', 'project_load')
    r = Reader(pack)
    for _ in range(3):
        texture(r)  # the overlays come before the project
    if r.u32() != 0:
        sys.exit("the pack's project has materials: not the pack this expects")
    textures = [texture(r) for _ in range(r.u32())]
    start = r.at
    objects = [node(r, 1) for _ in range(r.u32())]
    if r.at != len(pack):
        sys.exit("the pack does not end where its project ends")
    seeds = {'pack_project': u32(0) + u32(len(textures)) + b''.join(textures) + u32(len(objects)) + b''.join(objects)}
    name = textures[0][4:4 + struct.unpack('<I', textures[0][:4])[0]]
    nothing = string(b'NOTHING\0')
    words = b''.join(u32(w) for w in range(4))
    material = (string(b'metal\0') + words + string(name) + b'\1' + words + nothing + b'\0' + words +
                struct.pack('<ff', 0.3, 0.3) + nothing + b'\0')
    seeds['material'] = u32(1) + material + u32(1) + textures[0] + u32(0)
    r.at = start + 4
    for n in range(len(objects)):
        record = node(r, 4)
        seeds['object_%d' % (n + 1)] = u32(0) + u32(0) + u32(1) + record
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
        print('%s: %d bytes' % (name, len(data)))


main()
