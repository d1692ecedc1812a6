#!/usr/bin/env python3
"""The native Wayland main window (platform/*_wayland.cpp) on real compositors,
through wayland_window_probe, table-driven.

Usage: wayland_window_check.py <desktop> <probe>
Desktops (tests/support/wayland_desktop.py):
  weston  no frames of its own (libdecor's): the size asked, fullscreen before
          and after showing against the output's size, presentation feedback
          after each commit, the compositor going away mid-run
  mutter  the same through libdecor's configures, fullscreen and back
  sway    frames from the compositor (xdg-decoration): the size its tree
          gives the window, fullscreen and back into its tile, and keys from a virtual keyboard (wtype) as the
          neutral keys, system keys with Alt and F10, Escape's release ending it
  none    no compositor at WAYLAND_DISPLAY: no window, and the reason
"""
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from test_display import WaitFailed, wait_until  # noqa: E402
from wayland_desktop import WaylandDesktop  # noqa: E402

desktop_kind, probe = sys.argv[1], os.path.abspath(sys.argv[2])
SCREEN = (1280, 1024)
ASKED = (640, 400)
failures = []


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what, flush=True)
    if not ok:
        failures.append(what)


class Probe:
    """The probe on the desktop, its lines gathered as they come."""

    def __init__(self, desktop, *argv):
        env = desktop.env()
        env.pop("DISPLAY", None)  # nothing of X may stand in for the Wayland window
        self.process = desktop.start([probe] + list(argv), env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        self.lines, self.errors = [], []
        self.readers = [threading.Thread(target=self._read, args=(s, l), daemon=True)
                        for s, l in ((self.process.stdout, self.lines), (self.process.stderr, self.errors))]
        for reader in self.readers:
            reader.start()

    @staticmethod
    def _read(stream, lines):
        for line in stream:
            lines.append(line.strip())

    def wait_for(self, line, timeout=30):
        wait_until(lambda: line in self.lines or self.process.poll() is not None, "the probe's %r" % line, timeout)
        return line in self.lines

    def finish(self, timeout=60):
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = None
        for reader in self.readers:
            reader.join(5)
        return code

    def events(self, kind=None):
        """(type, key, width, height) of each event told, of one type if given."""
        told = [line.split()[1:] for line in self.lines if line.startswith("event ")]
        return [(t, int(k, 16), int(w), int(h)) for t, k, w, h, _, _ in told if kind in (None, t)]

    def sizes(self):
        return [(w, h) for _, _, w, h in self.events("Size")]

    def end(self):
        """{'frames': F, 'presented': P, 'late': L} from the last line, or {}."""
        last = [line.split()[1:] for line in self.lines if line.startswith("end ")]
        return {last[0][i]: int(last[0][i + 1]) for i in range(0, len(last[0]), 2)} if last else {}


def run_probe(desktop, *argv):
    p = Probe(desktop, *argv)
    return p, p.finish()


def presentation_rows(desktop):
    p, code = run_probe(desktop, "--seconds", "3")
    end = p.end()
    check(code == 0 and "configured %d %d" % ASKED in p.lines, "%s: the window is made at the size asked (%s)"
          % (desktop_kind, p.lines[:2]))
    check(p.sizes() == [], "%s: a floating window is told no other size (%s)" % (desktop_kind, p.sizes()))
    check([t for t, _, _, _ in p.events()][:1] == ["Paint"], "%s: shown, it is painted first" % desktop_kind)
    check("watch Wayland presentation feedback" in p.lines, "%s: presentation feedback watches it" % desktop_kind)
    # A compositor at 60 Hz shows most of the probe's ~60 frames a second; none before its commit.
    check(0 < end.get("presented", 0) <= end.get("frames", 0) and end.get("late") == 0,
          "%s: frames shown after their commit, no more than committed (%s)" % (desktop_kind, end))


def fullscreen_rows(desktop):
    rows = [("fullscreen before showing", ["--fullscreen"], [SCREEN]),
            ("fullscreen and back", ["--toggle"], [SCREEN, ASKED])]
    for what, argv, sizes in rows:
        p, code = run_probe(desktop, "--seconds", "4", *argv)
        check(code == 0 and p.sizes() == sizes, "%s: %s: sizes %s, expected %s" % (desktop_kind, what, p.sizes(), sizes))


def compositor_gone_row(desktop):
    p = Probe(desktop, "--seconds", "30")
    p.wait_for("shown")
    compositor = [c for c in desktop.processes if os.path.basename(str(c.args[0])) == desktop_kind]
    compositor[0].send_signal(signal.SIGKILL)
    code = p.finish()
    check(code == 0 and ("Destroy", 0, 0, 0) in p.events() and
          any("Wayland compositor closed the connection" in e for e in p.errors),
          "%s: the compositor gone, the window is destroyed with the reason (%s, %s)" % (desktop_kind, code, p.errors))


# A key sequence for wtype after a pause (its virtual keyboard comes and goes
# with it; the window's seat needs a moment to take it), and what the window tells.
KEYS = [
    ("a letter", ["-k", "f"], [("KeyDown", 0x46), ("KeyUp", 0x46)]),
    ("space", ["-k", "space"], [("KeyDown", 0x20), ("KeyUp", 0x20)]),
    ("F10, a system key", ["-k", "F10"], [("SystemKeyDown", 0x79), ("SystemKeyUp", 0x79)]),
    ("F11", ["-k", "F11"], [("KeyDown", 0x7A), ("KeyUp", 0x7A)]),
    ("M with Alt held", ["-M", "alt", "-k", "m", "-m", "alt"], [("SystemKeyDown", 0x4D), ("SystemKeyUp", 0x4D)]),
    ("Alt itself", ["-P", "Alt_L", "-p", "Alt_L"], [("SystemKeyDown", 0x12), ("SystemKeyUp", 0x12)]),
    ("a letter with Shift", ["-M", "shift", "-k", "f", "-m", "shift"], [("KeyDown", 0x46), ("KeyUp", 0x46)]),
]


def keys_told(p, since):
    return [(t, k) for t, k, _, _ in p.events()[since:] if "Key" in t]


def key_rows(desktop, p):
    env = desktop.env()
    env.pop("DISPLAY", None)
    for what, argv, expected in KEYS + [("Escape", ["-k", "Escape"], [("KeyDown", 0x1B), ("KeyUp", 0x1B)])]:
        since = len(p.events())
        pause = 300

        def seen():
            told = keys_told(p, since)
            return any(told[i:i + len(expected)] == expected for i in range(len(told)))

        # Sent again with a longer pause while nothing of it came: the seat
        # took the keyboard too late. A key told wrongly never matches.
        deadline = time.monotonic() + 30
        while not seen() and time.monotonic() < deadline and p.process.poll() is None:
            desktop.run(["wtype", "-s", str(pause)] + argv, env=env, timeout=30)
            try:
                wait_until(seen, "the window's %s" % what, 2)
            except WaitFailed:
                pause = min(pause * 2, 3000)
        check(seen(), "sway: %s told as %s (told %s)" % (what, expected, keys_told(p, since)))


def sway_rows(desktop):
    p = Probe(desktop, "--seconds", "120")
    p.wait_for("shown")

    def tiled():
        tree = desktop.sway("-t", "get_tree")
        nodes, found = [tree] if tree else [], None
        while nodes and not found:
            node = nodes.pop()
            if node.get("app_id") == "vyrtest" and node.get("visible"):
                found = node
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        if not found:
            return None
        rect = found["window_rect"]
        return (rect["width"], rect["height"]) if (rect["width"], rect["height"]) in p.sizes() else None

    try:
        size = wait_until(tiled, "the window's size from sway's tree", 30)
    except WaitFailed:
        size = None
    check(size is not None, "sway: the window is told the size sway's tree gives it (told %s)" % p.sizes())
    key_rows(desktop, p)
    code = p.finish()
    check(code == 0 and p.end().get("frames", 0) > 0, "sway: Escape's release ends the probe (%s)" % code)
    # Its own xdg toplevel (no libdecor here): fullscreen, then back into its tile.
    toggled, code = run_probe(desktop, "--seconds", "4", "--toggle")
    expected = [size, SCREEN, size]
    check(code == 0 and toggled.sizes() == expected,
          "sway: fullscreen and back: sizes %s, expected %s" % (toggled.sizes(), expected))


def no_compositor_rows():
    with tempfile.TemporaryDirectory(prefix="vyr-no-compositor.") as runtime:
        env = dict(os.environ, WAYLAND_DISPLAY="wayland-none", XDG_RUNTIME_DIR=runtime)
        env.pop("DISPLAY", None)
        done = subprocess.run([probe], env=env, capture_output=True, text=True, timeout=60)
    check(done.returncode == 2 and "cannot open the Wayland display" in done.stderr,
          "none: no window, and the reason (%s: %s)" % (done.returncode, done.stderr.strip()))


if desktop_kind == "none":
    no_compositor_rows()
else:
    with WaylandDesktop(desktop_kind, screen="%dx%d" % SCREEN) as desktop:
        if desktop_kind == "sway":
            sway_rows(desktop)
        else:
            presentation_rows(desktop)
            fullscreen_rows(desktop)
            if desktop_kind == "weston":
                compositor_gone_row(desktop)

print("%d failed" % len(failures) if failures else "all passed")
sys.exit(1 if failures else 0)
