#!/usr/bin/env python3
"""Checks on screenshots of the 640 x 400 client area (PNG, read through ImageMagick).

Each check prints what it measured and exits non-zero when it fails.
"""
import subprocess
import sys

W, H = 640, 400


def load(path, width=W, height=H):
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    if len(raw) != width * height * 3:
        sys.exit(f"{path}: expected {width}x{height}, got {len(raw)} bytes")
    return raw


def coarse(path, cols=32, rows=20):
    """The picture reduced to cols x rows cell means: composition without pixel detail."""
    raw = subprocess.run(["convert", path, "-filter", "box", "-resize", f"{cols}x{rows}!", "-depth", "8", "rgb:-"],
                         check=True, capture_output=True).stdout
    return raw


def diff(a, b, box, shift=0):
    """Mean absolute channel difference of a over box against b over box moved right by shift."""
    left, top, right, bottom = box
    total = 0
    for y in range(top, bottom):
        for x in range(left, right):
            i, j = (y * W + x) * 3, (y * W + x + shift) * 3
            total += abs(a[i] - b[j]) + abs(a[i + 1] - b[j + 1]) + abs(a[i + 2] - b[j + 2])
    return total / (3 * (right - left) * (bottom - top))


def same_share(a, box, shift):
    """Share of the pixels of box that equal the pixel shift to their right exactly."""
    left, top, right, bottom = box
    same = 0
    for y in range(top, bottom):
        for x in range(left, right):
            i, j = (y * W + x) * 3, (y * W + x + shift) * 3
            same += a[i:i + 3] == a[j:j + 3]
    return same / ((right - left) * (bottom - top))


def mean(a, box):
    left, top, right, bottom = box
    total = sum(a[(y * W + x) * 3 + c] for y in range(top, bottom) for x in range(left, right) for c in range(3))
    return total / (3 * (right - left) * (bottom - top))


def channel_means(a, box):
    left, top, right, bottom = box
    n = (right - left) * (bottom - top)
    return [sum(a[(y * W + x) * 3 + c] for y in range(top, bottom) for x in range(left, right)) / n for c in range(3)]


def expect(name, value, op, limit):
    ok = value > limit if op == ">" else value < limit
    print(f"{'ok' if ok else 'FAILED'}: {name} = {value:.2f} (needs {op} {limit})")
    return ok


OFF = (W - 138, H - 41, W - 10, H)
PAUSE = (0, H - 41, 128, H)
PAUSE_CONTROL = (256, H - 41, 384, H)  # bottom centre, stars only
CENTRE_LEFT = (W // 2 - 50, H // 2 - 50, W // 2, H // 2 + 50)
# The top band holds no logo and no overlay; the background square is 640 wide,
# so its 320-pixel tiles repeat between the left and the right half.
TOP_LEFT = (0, 0, 320, 90)
# The logo at the centre: its reflective parts show the blue environment colour.
LOGO = (220, 140, 420, 260)


def main():
    what = sys.argv[1]
    ok = True
    if what == "scene":
        # scene <paused> <paused with the daemon answering 1>: the OFF indicator is all that differs.
        off, on = load(sys.argv[2]), load(sys.argv[3])
        ok &= expect("background brightness", mean(off, TOP_LEFT), ">", 8)
        # Flying star rays add light over both halves differently, so the tiling
        # shows in the untouched pixels: identical 320 pixels apart, and only by
        # chance (dark against dark) at any other distance.
        ok &= expect("tiling: pixels equal to the one 320 to the right", same_share(off, TOP_LEFT, 320), ">", 0.7)
        ok &= expect("tiling control: equal to the one 101 to the right", same_share(off, TOP_LEFT, 101), "<", 0.6)
        # The background repeats every 320 pixels, so without a logo the centre's
        # left part would match the right edge of the frame.
        ok &= expect("logo at the centre", diff(off, off, CENTRE_LEFT, 320), ">", 15)
        ok &= expect("OFF indicator: bottom right with and without", diff(off, on, OFF), ">", 10)
        ok &= expect("same frame elsewhere", diff(off, on, (0, 0, W, H - 41)), "<", 2)
    elif what == "pause":
        # pause <running frame> <frame after Space>
        before, after = load(sys.argv[2]), load(sys.argv[3])
        label = diff(before, after, PAUSE)
        control = diff(before, after, PAUSE_CONTROL)
        ok &= expect("pause label: bottom left before and after Space", label, ">", 15)
        ok &= expect("pause label against the stars' own change", label - control, ">", 10)
    elif what == "compare":
        # compare <Direct3D 9> <OpenGL> <tolerance>: coarse composition, 32 x 20 cells of 20 x 20 pixels.
        a, b = coarse(sys.argv[2]), coarse(sys.argv[3])
        tolerance = float(sys.argv[4])
        cells = len(a) // 3
        per_cell = [sum(abs(a[i * 3 + c] - b[i * 3 + c]) for c in range(3)) / 3 for i in range(cells)]
        average = sum(per_cell) / cells
        worst = sorted(per_cell)[int(cells * 0.95)]
        ok &= expect("mean cell difference", average, "<", tolerance)
        ok &= expect("95th percentile cell difference", worst, "<", tolerance * 3)
        # Blue over red at the logo, whatever angle the load gave it: a reflection
        # placed like the star's gradient turns it red (idle: 20 blue, -10 wrong).
        for name, path in (("first", sys.argv[2]), ("second", sys.argv[3])):
            r, g, b = channel_means(load(path), LOGO)
            ok &= expect(f"{name}: blue over red at the logo", b - r, ">", 8)
    else:
        sys.exit(f"unknown check {what}")
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
