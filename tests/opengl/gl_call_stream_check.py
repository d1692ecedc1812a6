#!/usr/bin/env python3
"""Checks the listing of `apitrace dump` for the program's frames.

Usage: gl_call_stream_check.py <mono|benchmark> <listing> <blob folder>
Takes the last complete frame (between the last two buffer swaps) and, for the
frame-rate text, the last frame that drew it.
"""
import os
import re
import sys

mode, listing, blobs = sys.argv[1], sys.argv[2], sys.argv[3]
call = re.compile(r"^(\d+) (\w+)\((.*)\)")

frames, current = [], []
with open(listing, errors="replace") as f:
    for line in f:
        m = call.match(line)
        if not m:
            continue
        current.append((int(m.group(1)), m.group(2), m.group(3)))
        if m.group(2) == "glXSwapBuffers":
            frames.append(current)
            current = []

failures = []


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


check(len(frames) >= 3, f"{len(frames)} frames recorded")
if len(frames) < 3:
    sys.exit(1)
frame = frames[-2]
names = [c[1] for c in frame]


def index_of(name, args=None, start=0):
    for i in range(start, len(frame)):
        if frame[i][1] == name and (args is None or frame[i][2] == args):
            return i
    return -1


# The stars: the same five-call transform for each of the 796 drawn candidates.
stars = []
for i in range(len(frame) - 4):
    if (frame[i][1] == "glLoadIdentity" and frame[i + 1][1] == "glTranslatef"
            and frame[i + 2][1] == "glTranslatef" and frame[i + 3][2] == "x = 2, y = 2, z = 1"
            and frame[i + 4][2] == "angle = 180, x = 0, y = 1, z = 0"):
        stars.append(i)
check(len(stars) == 796, f"{len(stars)} star transforms (796 expected)")
positions = [re.findall(r"-?[\d.e+-]+", frame[i + 2][2]) for i in stars]
zs = [float(p[2]) for p in positions if len(p) == 3]
check(all(-35.0 < z < 5.0 for z in zs), "star depths within the flight range")
check(len(set(zs)) > 700, f"{len(set(zs))} distinct star depths")

background = index_of("glBegin", "mode = GL_QUADS")
first_star = stars[0] if stars else -1
check(0 <= background < first_star, "the background quad comes before the stars")
check(index_of("glClear", "mask = GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT") == 0, "the frame starts with a full clear")

if mode == "mono":
    ones = index_of("glBlendFunc", "sfactor = GL_ONE, dfactor = GL_ONE")
    check(0 <= ones < first_star, "stars are added (GL_ONE, GL_ONE)")
    star_draws = [c for c in frame[first_star:] if c[1] == "glDrawArrays"]
    if star_draws:
        # Each star is one "Cone" mesh of 60 triangles.
        cones = [c for c in star_draws if c[2] == "mode = GL_TRIANGLES, first = 0, count = 180"]
        check(len(cones) >= 796, f"{len(cones)} cone draws of 180 vertices")
    else:
        check(False, "no mesh draws in the frame")
    last_star = stars[-1] if stars else 0
    over = index_of("glBlendFunc", "sfactor = GL_SRC_ALPHA, dfactor = GL_ONE_MINUS_SRC_ALPHA", last_star)
    depth = index_of("glClear", "mask = GL_DEPTH_BUFFER_BIT", over)
    check(over > last_star, "logos blended source-alpha over one-minus-source-alpha")
    check(depth > over, "depth cleared between the two logos")
    check(index_of("glRotatef", "angle = 180, x = 0, y = 1, z = 0", depth) == depth + 1,
          "the second logo is turned half round right after the depth clear")
    if depth > over:
        draws_before = [c for c in frame[over:depth] if c[1] == "glDrawArrays"]
        draws_after = [c for c in frame[depth:] if c[1] == "glDrawArrays"]
        check(len(draws_before) > 0 and len(draws_after) > 0, "both logos draw meshes")
    ortho = index_of("glOrtho", "left = 0, right = 640, bottom = 0, top = 400, zNear = -1, zFar = 1", max(depth, 0))
    check(ortho > depth, "the overlays use a 640 x 400 pixel projection")

    # The frame-rate text: two passes of one display list per character.
    texts = [f for f in frames if any(c[1] == "glCallLists" for c in f)]
    check(len(texts) > 0, "frames with the frame-rate text after F")
    if texts:
        lists = [c for c in texts[-1] if c[1] == "glCallLists"]
        check(len(lists) == 2, f"{len(lists)} text passes (2 expected)")
        for c in lists:
            m = re.match(r'n = (\d+), type = GL_UNSIGNED_BYTE, lists = blob\("([^"]+)"\)', c[2])
            if not m:
                check(False, "glCallLists arguments: " + c[2])
                continue
            text = open(os.path.join(blobs, m.group(2)), "rb").read()
            check(re.fullmatch(rb"Generated FPS: \d+", text) is not None, f"text {text!r}")
            check(int(m.group(1)) == len(text), f"{m.group(1)} display lists for {len(text)} characters")
else:
    check(index_of("glBegin", "mode = GL_LINES") > first_star, "streaks are lines")
    check(sum(1 for c in frame if c[1] == "glBegin" and c[2] == "mode = GL_LINES") == 796, "796 streaks")
    check(index_of("glDisable", "cap = GL_LIGHTING") < first_star, "streaks are unlit")

sys.exit(1 if failures else 0)
