#!/usr/bin/env python3
"""The picture check and the screen's figures of the real program on Wayland
desktops, through Xwayland and in a Wayland window of its own, table-driven;
each row on OpenGL and on Vulkan unless it names one.

Usage: wayland_check.py <desktop> <native bin dir>
Desktops (tests/support/wayland_desktop.py):
  weston      weston's headless output lets no program read the screen: the
              check is inconclusive (5) and names the missing capture protocol;
              a plain run's screen figures are measured or null with a reason
  weston-rdp  the same under weston's RDP server with xfreerdp connected, and
              the viewer's picture holds the check frame where weston put the window
  sway        read through wlr-screencopy: the check passes and -screenshot is
              grim's capture of the window; a present that shows nothing fails
              (3); a fullscreen Wayland window over the program is inconclusive
              (5), never 3; -all -check passes; a plain run's screen figures
  mutter      read through Mutter's ScreenCast and PipeWire: the same, with the
              test's own ScreenCast capture for grim's; every other present
              skipped shows as half the frames; without PipeWire the check is
              inconclusive and says so
  native-weston, native-sway, native-mutter
              the program's own Wayland window (DISPLAY empty): a plain run's
              figures from the compositor's presentation feedback, against the
              driver's stamps, with every other present skipped (OpenGL) and
              with late presents (sway nested in weston: wlroots' headless
              output tells no presentation times, and there the figures are
              null with the reason); the check and -screenshot pass on sway
              (its tree tells the window's place) and on mutter (the program
              finds its frame on the screen; the test finds the screenshot in
              its own capture), where a present that shows nothing is
              inconclusive (5): nothing tells a covered window from a wrong
              one; on weston the check is inconclusive (no capture); on
              sway Escape, Space (the picture and the soundtrack stop) and F11
              through a virtual keyboard (wtype), left clicks while paused (one
              frame each) and -gdicursor's inverted square following it
              through a virtual pointer (wayland_pointer),
              sway's own close, and -all beside Xwayland (four children)
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from test_display import DriverFault, WaitFailed, wait_until  # noqa: E402
from wayland_desktop import WaylandDesktop  # noqa: E402

desktop_kind, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
source = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
program = os.path.join(bin_dir, "vyrtest")
faults_library = os.path.join(bin_dir, "..", "tests", "preload", "driver_faults.so")
pointer_tool = os.path.join(bin_dir, "..", "tests", "wayland_pointer")
reference = os.path.join(source, "assets", "reference", "check_frame.png")
lavapipe = "/usr/share/vulkan/icd.d/lvp_icd.x86_64.json"
work = tempfile.mkdtemp(prefix="vyr-wayland.")
failures = []
timings = []

TERMINAL = "org.freedesktop.weston.wayland-terminal"
NO_CAPTURE = r"wlr-screencopy"  # the capture protocol weston does not offer
CHECK = ["-check", "-duration", "1"]
FROZEN_CHECK = ["-check", "-paused", "-scenetime", "3.53", "-duration", "60"]  # the check frame, until Escape
# The same for a while: GNOME offers the test no keyboard of its own for a Wayland window.
FROZEN_CHECK_A_WHILE = FROZEN_CHECK[:-1] + ["10"]
PLAIN = ["-duration", "3"]


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what, flush=True)
    if not ok:
        failures.append(what)


def magick(*argv):
    """An ImageMagick tool's (stdout, stderr)."""
    done = subprocess.run(list(argv), capture_output=True, text=True, timeout=60)
    return done.stdout, done.stderr


def psnr(a, b):
    """ImageMagick's PSNR of two pictures of one size, in dB (99 for identical ones)."""
    out = magick("compare", "-metric", "PSNR", a, b, "null:")[1].split()
    if out[:1] == ["inf"]:
        return 99.0
    try:
        return float(out[0])
    except (IndexError, ValueError):
        return 0.0


def size(path):
    return tuple(int(v) for v in magick("identify", "-format", "%w %h", path)[0].split())


def key(desktop, name):
    """A key pressed and released through the Wayland virtual keyboard, to the focused window."""
    code, _, err = desktop.run(["wtype", "-k", name], timeout=30)
    check(code == 0, "wtype -k %s (%s)" % (name, err.strip()))


def seat_keyboard(desktop):
    """A virtual keyboard on sway's seat for the whole run, as a real seat has one: headless sway has none,
    and a keyboard that came and went with one key (wtype) could leave before the program bound it."""
    desktop.start(["wtype", "-s", "86400000"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until(lambda: any(s.get("capabilities") for s in desktop.sway("-t", "get_seats") or []),
               "a keyboard on sway's seat")


def escape(desktop, run, window):
    if run["native"] and desktop.kind != "sway":
        return  # it ends by -duration
    if run["native"]:
        key(desktop, "Escape")
    else:
        desktop.x("xdotool", "key", "--window", window, "Escape")


def shown_window(desktop, run):
    """The program's X window (id), or for its own Wayland window its node in sway's tree (elsewhere
    nothing, once it presented)."""
    if not run["native"]:
        return desktop.wait_for_window()
    if desktop.kind != "sway":
        return wait_until(lambda: stamped(run["stamps"]) >= 1, "a present", 60) and None
    return wait_until(lambda: sway_node(desktop, **run["match"]), "the program's Wayland window in sway's tree", 60)


def sway_node(desktop, **match):
    """The first node of sway's tree whose fields (or window_properties) match."""
    todo = [desktop.sway("-t", "get_tree") or {}]
    while todo:
        node = todo.pop()
        fields = dict(node, **(node.get("window_properties") or {}))
        if all(fields.get(k) == v for k, v in match.items()):
            return node
        todo += node.get("nodes", []) + node.get("floating_nodes", [])
    return None


# What a row does while the program runs; it returns what the row's own check needs.
def seen_by_viewer(desktop, folder, run):
    """The check frame in the RDP viewer's picture, where weston placed the window.
    Weston's X window manager moves the X window where it shows it: its place on
    Xwayland is its place on weston's screen, read again with each picture."""
    window = shown_window(desktop, run)
    view, crop = os.path.join(folder, "view.png"), os.path.join(folder, "view-window.png")
    measured = []

    def shows_frame():
        place = desktop.x("xwininfo", "-id", window) or ""
        at = [re.search(r"Absolute upper-left %s:\s+(-?\d+)" % a, place) for a in "XY"]
        if None in at or not desktop.viewer.save_window(desktop.viewer_window, view):
            return False
        magick("convert", view, "-crop", "640x400+%s+%s" % (at[0].group(1), at[1].group(1)), "+repage", crop)
        measured.append(psnr(crop, reference))
        return measured[-1] >= 30

    try:
        wait_until(shows_frame, "the check frame in the RDP viewer where the window is", 60, 0.3)
    except WaitFailed:
        pass  # the row tells the last picture's PSNR
    finally:
        escape(desktop, run, window)
    return measured[-1] if measured else 0.0


def captured_when_still(desktop, run, folder, what, place, capture):
    """The compositor's capture of the window's content (capture(at, path) of the
    place (x, y, width, height) place() tells) once its place and its frozen frame
    stand still; the place is read again for each capture (a compositor lays a new
    window out more than once)."""
    window = shown_window(desktop, run)
    captures = []

    def still():
        at = place(window)
        path = os.path.join(folder, "capture%d.png" % len(captures))
        if at:
            capture(at, path)
        captures.append((at, path if at and os.path.exists(path) else None))
        (before, a), (now, b) = captures[-2:] if len(captures) > 1 else (captures[-1], captures[-1])
        return (len(captures) > 1 and a and b and before == now == place(window) and psnr(a, b) >= 99
                and float(magick("identify", "-format", "%[fx:maxima]", b)[0] or 0) > 0.06)

    try:
        wait_until(still, "a still, drawn picture of the window in " + what, 60, 0.2)
    finally:
        escape(desktop, run, window)
    return captures[-1][1]


def sway_place(desktop, run):
    """(x, y, width, height) of the program's client area from sway's tree, or None."""
    node = sway_node(desktop, **run["match"]) or {}
    content, outer = node.get("window_rect") or {}, node.get("rect") or {}
    if not content.get("width") or not outer:
        return None
    return outer["x"] + content["x"], outer["y"] + content["y"], content["width"], content["height"]


def grim(desktop, at, path):
    desktop.run(["grim", "-g", "%d,%d %dx%d" % at, path], timeout=60)


def captured_by_grim(desktop, folder, run):
    """grim's capture, the place from sway's tree."""
    return captured_when_still(desktop, run, folder, "grim's capture", lambda window: sway_place(desktop, run),
                               lambda at, path: grim(desktop, at, path))


def captured_by_screencast(desktop, folder, run):
    """The test's own ScreenCast capture of the monitor, cropped to the window's place on
    Xwayland: mutter's X window manager puts the X window where it shows it, and
    Xwayland's root is the monitors' layout. Mutter tells nobody where a Wayland
    window is: for the program's own, the whole monitor."""
    def place(window):
        if run["native"]:
            return (0, 0) + tuple(int(v) for v in desktop.screen.split("x")[:2])
        found = [re.search(r"%s:\s+(-?\d+)" % field, desktop.x("xwininfo", "-id", window) or "")
                 for field in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
        return None if None in found else tuple(int(f.group(1)) for f in found)

    def capture(at, path):
        screen = path + ".screen.png"
        if desktop.screencast_capture(screen):
            magick("convert", screen, "-crop", "%dx%d+%d+%d" % (at[2], at[3], at[0], at[1]), "+repage", path)

    return captured_when_still(desktop, run, folder, "the test's ScreenCast capture", place, capture)


def fullscreen_terminal(desktop, folder, run):
    """weston-terminal made fullscreen while the program's first present is held:
    sway then maps the program's window under it, not visible."""
    desktop.wait_for_window()
    desktop.start(["weston-terminal"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until(lambda: sway_node(desktop, app_id=TERMINAL), "weston-terminal in sway's tree")
    desktop.sway('[app_id="%s"] fullscreen enable' % TERMINAL)
    wait_until(lambda: (sway_node(desktop, app_id=TERMINAL) or {}).get("fullscreen_mode") == 1,
               "weston-terminal fullscreen")
    open(run["gate"], "w").close()
    ours = wait_until(lambda: sway_node(desktop, **run["match"]), "the program's window in sway's tree")
    check(ours.get("visible") is False, "%s: sway shows the program's window as not visible (%s)"
          % (run["label"], ours.get("visible")))


def presenting(desktop, run):
    """The program's own window in sway's tree, once the driver carried out a few presents: it takes keys."""
    shown_window(desktop, run)
    wait_until(lambda: stamped(run["stamps"]) >= 5, "five presents", 60)


def escape_key(desktop, folder, run):
    presenting(desktop, run)
    key(desktop, "Escape")
    return run["stamps"]


def closed_by_sway(desktop, folder, run):
    presenting(desktop, run)
    check(desktop.sway('[app_id="%s"] kill' % APP_ID) is not None, "%s: swaymsg kill" % run["label"])
    return run["stamps"]


class Soundtrack:
    """What the program plays, through SDL's disk audio driver into a FIFO: each opening of the audio device is a
    session of bytes, so the soundtrack stopping is the session's end."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "audio.raw")
        os.mkfifo(self.path, 0o600)
        self.sessions, self.open = [], False
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()

    def env(self):
        return {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": self.path}

    def _drain(self):
        while True:
            with open(self.path, "rb", buffering=0) as fifo:  # blocks until the program opens its device
                self.sessions.append(0)
                self.open = True
                for chunk in iter(lambda: fifo.read(8192), b""):
                    self.sessions[-1] += len(chunk)
                self.open = False

    def playing(self):
        return self.open and self.sessions[-1] > 44100


def paused_by_space(desktop, folder, run):
    """Space, then grim's pictures of the window a second apart: moving before, standing still after, and the
    soundtrack, playing before, stopped (its device closed) while the program still runs."""
    presenting(desktop, run)
    captures = []

    def same_as_last(wanted):
        at = sway_place(desktop, run)
        path = os.path.join(folder, "pause%d.png" % len(captures))
        if at:
            grim(desktop, at, path)
        captures.append(path if at and os.path.exists(path) else None)
        return len(captures) > 1 and None not in captures[-2:] and (psnr(*captures[-2:]) >= 99) == wanted

    seen = {}
    try:
        seen["moving"] = bool(wait_until(lambda: same_as_last(False), "the running window's picture changing", 30, 0.5))
        seen["playing"] = bool(wait_until(run["sound"].playing, "the soundtrack playing", 30))
        key(desktop, "space")
        del captures[:]
        seen["still"] = bool(wait_until(lambda: same_as_last(True), "the paused window's picture standing still a second",
                                        30, 1.0))
        seen["silent"] = bool(wait_until(lambda: not run["sound"].open, "the soundtrack stopping", 30))
    except WaitFailed as e:
        check(False, "%s: %s" % (run["label"], e))
    finally:
        escape(desktop, run, None)
    return seen


def stamps_still(run, seconds):
    """A condition: true once no present came for `seconds`."""
    last = {"count": None, "since": time.monotonic()}

    def still():
        count = stamped(run["stamps"])
        if count != last["count"]:
            last.update(count=count, since=time.monotonic())
        return time.monotonic() - last["since"] >= seconds
    return still


class Pointer:
    """A pointer of the test's own on sway's seat (tests/window/wayland_pointer.c), for the whole row, as a
    real seat has one: a device that came and went with one click could leave before the program bound it."""

    def __init__(self, desktop, label):
        self.process = desktop.start([pointer_tool], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        check(self.process.stdout.readline().strip() == "ready", "%s: a pointer on sway's seat" % label)
        self.tell("extent %d %d" % tuple(int(v) for v in desktop.screen.split("x")[:2]))

    def tell(self, line):
        """A line of wayland_pointer's ("move X Y", "click"), once the compositor took it."""
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().strip() == "done"

    def close(self):
        self.process.stdin.close()


def with_paused_pointer(desktop, run, seen, act):
    """The running program paused by Space and a pointer of the test's own, then act(pointer, place) with the
    client area's place from sway's tree; returns `seen`, as act filled it. Escape ends the run."""
    pointer = None
    try:
        presenting(desktop, run)
        pointer = Pointer(desktop, run["label"])
        key(desktop, "space")
        wait_until(stamps_still(run, 1.0), "no presents for a second, paused", 30)
        act(pointer, sway_place(desktop, run))
    except WaitFailed as e:
        check(False, "%s: %s" % (run["label"], e))
    finally:
        escape(desktop, run, None)
        if pointer:
            pointer.close()
    return seen


def clicks_while_paused(desktop, folder, run):
    """Space, then left clicks in the window through a pointer of the test's own: while paused, each click
    draws one frame (the driver's stamps), and nothing else does."""
    seen = {"clicks": 0}

    def act(pointer, place):
        x, y, width, height = place
        pointer.tell("move %d %d" % (x + width // 2, y + height // 2))
        paused = stamped(run["stamps"])
        for _ in range(3):
            before = stamped(run["stamps"])
            pointer.tell("click")
            wait_until(lambda: stamped(run["stamps"]) > before, "a frame for the click", 30)
            seen["clicks"] += 1
        wait_until(stamps_still(run, 1.0), "no presents for a second after the clicks", 30)
        seen["frames"] = stamped(run["stamps"]) - paused

    return with_paused_pointer(desktop, run, seen, act)


def inverted_around(before, now, width, x, y):
    """Whether sampled pixels of the 50 x 50 square around (x, y) are the inverse of what they were, and those
    just outside it as they were (RGB bytes of one picture's size)."""
    if len(now) != len(before):
        return False
    for d in (-25, 0, 24):
        for channel in range(3):
            inside, outside = ((y + d) * width + x + d) * 3 + channel, ((y - 27) * width + x + d) * 3 + channel
            if now[inside] != 255 - before[inside] or now[outside] != before[outside]:
                return False
    return True


def cursor_square_while_paused(desktop, folder, run):
    """-gdicursor: Space, then the pointer moved into the window from outside it (the compositor tells only
    that it entered) and on within it; grim's pictures show an inverted square where it is, and none where it
    was."""
    seen = {"squares": []}

    def act(pointer, at):
        def picture(name):
            path = os.path.join(folder, name + ".png")
            grim(desktop, at, path)
            return rgb(path)[2] if os.path.exists(path) else b""

        pointer.tell("move 0 0")  # over sway's frame, outside the client area
        paused = picture("paused")
        for x, y in ((200, 150), (420, 260)):
            pointer.tell("move %d %d" % (at[0] + x, at[1] + y))
            wait_until(lambda: inverted_around(paused, picture("square-%d-%d" % (x, y)), at[2], x, y),
                       "an inverted square at (%d, %d)" % (x, y), 30, 0.2)
            seen["squares"].append((x, y))
        seen["first gone"] = not inverted_around(paused, picture("after"), at[2], 200, 150)

    return with_paused_pointer(desktop, run, seen, act)


def square_followed(label, results, folder, seen):
    ended_by("escape")(label, results, folder, seen)
    check(seen.get("squares") == [(200, 150), (420, 260)] and seen.get("first gone"),
          "%s: an inverted square where the pointer moved, gone from where it was (%s)" % (label, seen))


def one_frame_a_click(label, results, folder, seen):
    ended_by("escape")(label, results, folder, seen)
    check(seen.get("clicks") == 3 and seen.get("frames") == 3,
          "%s: three clicks while paused drew three frames (%s)" % (label, seen))


def fullscreen_by_f11(desktop, folder, run):
    """F11, then sway's tree: the window fullscreen over the whole output."""
    presenting(desktop, run)
    key(desktop, "F11")
    fields = ("x", "y", "width", "height")

    def fills_output():
        node, outputs = sway_node(desktop, **run["match"]) or {}, desktop.sway("-t", "get_outputs") or [{}]
        rect, output = node.get("rect") or {}, outputs[0].get("rect") or {}
        return (node.get("fullscreen_mode") == 1 and [rect.get(f) for f in fields] == [output.get(f) for f in fields],
                node.get("fullscreen_mode"), rect, output)

    try:
        wait_until(lambda: fills_output()[0], "the window fullscreen on the output", 30)
        check(True, "%s: sway shows the window fullscreen over the output" % run["label"])
    except WaitFailed:
        check(False, "%s: sway's fullscreen_mode and rect against the output's: %s" % (run["label"], fills_output()[1:]))
    finally:
        escape(desktop, run, None)
    return run["stamps"]


# A row's own look at its results after the common one.
def rgb(path):
    """(width, height, RGB bytes) of a picture."""
    width, height = size(path)
    return width, height, subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                                         timeout=60).stdout


def found_on_screen(screen, picture, path):
    """The part of the screen's capture that holds `picture`, found as a viewer finds a window by what it shows:
    the picture's most varied row, byte for byte, then the rows around it. Written to `path`; None if nowhere."""
    (sw, sh, s), (pw, ph, p) = rgb(screen), rgb(picture)
    rows = [p[y * pw * 3:(y + 1) * pw * 3] for y in range(ph)]
    marked = max(range(ph), key=lambda y: len({rows[y][i:i + 3] for i in range(0, len(rows[y]), 3)}))
    for y in range(marked, sh - ph + marked + 1):
        x = s.find(rows[marked], y * sw * 3, (y + 1) * sw * 3)
        if x >= 0 and (x - y * sw * 3) % 3 == 0:
            magick("convert", screen, "-crop", "%dx%d+%d+%d" % (pw, ph, (x - y * sw * 3) // 3, y - marked), "+repage",
                   path)
            return path
    return None


def screenshot_is_capture(label, results, folder, captured):
    shot = os.path.join(folder, "shot.png")
    if label.startswith("native-") and captured and os.path.exists(shot):
        captured = found_on_screen(captured, shot, os.path.join(folder, "capture-window.png"))
    if not os.path.exists(shot) or not captured:
        check(False, "%s: -screenshot and the compositor's capture both written (the screenshot found on the "
                     "screen)" % label)
        return
    check(size(shot) == size(captured), "%s: -screenshot %s, the compositor's capture of the window %s"
          % (label, size(shot), size(captured)))
    value = psnr(shot, captured)
    check(value >= 30, "%s: -screenshot is the compositor's capture of the window (PSNR %.1f dB)" % (label, value))


def viewer_held_frame(label, results, folder, value):
    check(value >= 30, "%s: the RDP viewer shows the check frame where the window is (PSNR %.1f dB)" % (label, value))


def stamped(stamps):
    return len(open(stamps).readlines()) if os.path.exists(stamps) else 0


def screen_figures(label, results, folder, stamps):
    """Measured (ratio at least 0.9 and the frames the driver presented) or null with a reason; never 0.0.
    Where the desktop lets the program read its screen, measured, and by that way."""
    screen, kind = results.get("screen") or {}, label.split(",")[0]
    way = MEASURED_BY.get(label.rsplit(" (", 1)[0], MEASURED_BY.get(kind, MEASURED_BY.get(kind.split("-")[0])))
    shown = stamped(stamps)
    presented = (results.get("frames") or {}).get("count") or 0
    check(presented >= 10 and abs(presented - shown) <= 2, "%s: %d frames presented, the driver carried out %d"
          % (label, presented, shown))
    if way:
        check(way in (screen.get("measured_by") or ""), "%s: measured by %s (%s)"
              % (label, way, screen.get("measured_by")))
    if screen.get("ratio") is None:
        check(screen.get("frames") is None and re.match(r"not measured: .+", screen.get("measured_by") or ""),
              "%s: screen figures null with a reason (%s)" % (label, screen.get("measured_by")))
        return
    # Vulkan's presents reach Xwayland a queue later (about 90 ms on sway, more than a frame's time):
    # a change then seen after the next hand-over is matched to that frame, and a change that follows
    # before another hand-over finds none left to count. The figures are measured, but count low (0.76
    # to 0.94 over nine runs where every present reached the screen; 0.62 to 0.93 on mutter), so Vulkan's
    # floor is lower.
    floor = 0.6 if label.endswith("(Vulkan)") and not kind.startswith("native") else 0.9
    # Frames presented before the window was first shown (or the compositor's stream began) are not
    # watched: a few at most, which weigh in the ratio when a busy machine presents few frames.
    check(screen["ratio"] >= floor - 3 / max(shown, 1) and screen["frames"] is not None
          and floor * shown - 3 <= screen["frames"] <= shown,
          "%s: screen figures measured by %s: ratio %.3f, %s frames of the %d the driver presented"
          % (label, screen.get("measured_by"), screen["ratio"], screen.get("frames"), shown))


def half_on_screen(label, results, folder, stamps):
    """Every other present skipped: about half the frames reach the screen, as the driver's stamps tell."""
    screen, presented = results.get("screen") or {}, (results.get("frames") or {}).get("count") or 0
    shown, ratio, frames = stamped(stamps), screen.get("ratio"), screen.get("frames")
    # Mutter animates a window as it maps it (a quarter of a second): those few
    # changes of its area may each claim a frame the fault kept from the screen.
    band = 0.15 if label.startswith("mutter") else 0.1
    check(ratio is not None and frames is not None and abs(ratio - 0.5) <= band and presented
          and abs(ratio - shown / presented) <= 0.1 and 0.9 * shown - 3 <= frames <= shown + 3,
          "%s: screen figures measured by %s: ratio %s, %s frames; the driver passed on %d of %d presents"
          % (label, screen.get("measured_by"), ratio, frames, shown, presented))


def late_on_screen(label, results, folder, stamps):
    """Each present held 40 ms before the driver: the compositor shows every frame at least that late."""
    screen_figures(label, results, folder, stamps)
    delay = (results.get("screen") or {}).get("delay_ms") or {}
    check((delay.get("p50") or 0) >= 35, "%s: the median delay to the screen %s ms, with presents held 40 ms"
          % (label, delay.get("p50")))


def ended_by(reason):
    def after(label, results, folder, seen):
        check((results.get("end") or {}).get("reason") == reason, "%s: the run ended by %r (%r)"
              % (label, reason, (results.get("end") or {}).get("reason")))
    return after


def paused_still(label, results, folder, seen):
    ended_by("escape")(label, results, folder, seen)
    check(all(seen.get(k) for k in ("moving", "playing", "still", "silent"))
          and (results.get("frames") or {}).get("paused_seconds", 0) > 0,
          "%s: the picture moved and the soundtrack played, both stopped after Space (%s), and the run tells paused "
          "seconds (%s)"
          % (label, seen, (results.get("frames") or {}).get("paused_seconds")))


def every_backend_checked(label, results, folder, seen):
    """With Xwayland's DISPLAY and WAYLAND_DISPLAY both set, each back-end runs on X11 and on Wayland: every
    picture passes: sway tells the program its Wayland window's place, and on mutter the program finds its
    frame on the screen."""
    summary, on = results.get("summary") or {}, lambda system: ["%s on %s" % (b, system) for b in ("OpenGL", "Vulkan")]
    unseen = []
    check(summary.get("picture_passed") == [n for n in on("X11") + on("Wayland") if n not in unseen]
          and summary.get("picture_inconclusive") == unseen,
          "%s: the pictures of each back-end on both window systems (%s)" % (label, summary))


def on_both_window_systems(label, results, folder, seen):
    """Four children: each back-end on X11 (Xwayland) and on Wayland, each ending with 0."""
    entries = results.get("backends") or []
    systems = sorted((e.get("backend"), e.get("window_system")) for e in entries)
    wanted = sorted((b, w) for b in ("OpenGL", "Vulkan") for w in ("X11", "Wayland"))
    check(systems == wanted and all(e.get("exit_code") == 0 for e in entries),
          "%s: each back-end on X11 and on Wayland, each ending with 0 (%s)"
          % (label, [(e.get("backend"), e.get("window_system"), e.get("exit_code")) for e in entries]))
    native = [(e.get("results") or {}) for e in entries if e.get("window_system") == "Wayland"]
    check(all((r.get("session") or {}).get("window_system") == "Wayland" and (r.get("frames") or {}).get("count")
              for r in native), "%s: the Wayland children ran in Wayland windows and presented frames" % label)


APP_ID = "vyrtest"
# How the program reads each desktop's screen, when it can.
MEASURED_BY = {"mutter": "Mutter ScreenCast", "native": "Wayland presentation feedback",
               "native-sway, headless output": "not measured: the Wayland compositor answered the presentation "
                                               "feedback of only"}
# Desktops other than their kind's usual one, by kind and by row: WaylandDesktop's keywords. The program's
# own window on sway runs on sway nested in weston: wlroots' headless output tells no presentation times.
DESKTOP_OPTIONS = {"without PipeWire": {"pipewire": False}, "native-sway": {"nested": True},
                   "headless output": {"nested": False}}
# Rows that play the soundtrack (into a FIFO of the test's, `Soundtrack`); the others run with -nosound.
WITH_SOUND = ("Space",)
# Rows of the program's own window that keep Xwayland's DISPLAY beside WAYLAND_DISPLAY.
WITH_XWAYLAND = ("-all beside Xwayland",)
# Rows on one back-end only (each row runs on both otherwise; -all rows once).
# A preload cannot keep Vulkan's Wayland presents from the compositor: the driver commits inside
# vkQueuePresentKHR, and a present skipped there leaves the swap chain's image unreleased.
ONE_BACKEND = {"every other present, OpenGL": "OpenGL", "a present that shows nothing, OpenGL": "OpenGL",
               "-gdicursor while paused, OpenGL": "OpenGL"}  # -gdicursor is OpenGL's
# Mutter tells no window's place: the program looks for its frame, and where no place shows it, cannot tell
# a covered window from a wrong picture.
NOT_FOUND = r"does not tell a program where its window is, and no output shows the frame"
KEYS = ["-duration", "60"]  # ended by the key or the compositor

# desktop, row, options, driver fault, while it runs, after, exit codes, the screen check's reason when 5
ROWS = (
    ("weston", "check", CHECK, None, None, None, (5,), NO_CAPTURE),
    ("weston", "plain run", PLAIN, None, None, screen_figures, (0,), None),
    ("weston-rdp", "check under an RDP viewer", FROZEN_CHECK, None, seen_by_viewer, viewer_held_frame, (5,),
     NO_CAPTURE),
    ("sway", "check and -screenshot", FROZEN_CHECK + ["-screenshot", "shot.png"], None, captured_by_grim,
     screenshot_is_capture, (0,), None),
    ("sway", "a present that shows nothing", CHECK, "present-nothing", None, None, (3,), None),
    ("sway", "a fullscreen Wayland window over it", ["-check", "-duration", "5"], "hold-first-present",
     fullscreen_terminal, None, (5,), r'^covered by the Wayland window "%s"' % re.escape(TERMINAL)),
    ("sway", "plain run", PLAIN, None, None, screen_figures, (0,), None),
    ("sway", "-all -check", ["-all"] + CHECK, None, None, every_backend_checked, (0,), None),
    ("mutter", "check and -screenshot", FROZEN_CHECK + ["-screenshot", "shot.png"], None, captured_by_screencast,
     screenshot_is_capture, (0,), None),
    ("mutter", "a present that shows nothing", CHECK, "present-nothing", None, None, (3,), None),
    ("mutter", "plain run", PLAIN, None, None, screen_figures, (0,), None),
    ("mutter", "every other present", PLAIN, "present-every-other", None, half_on_screen, (0,), None),
    ("mutter", "without PipeWire", CHECK, None, None, None, (5,), r"PipeWire"),
    ("mutter", "-all -check", ["-all"] + CHECK, None, None, every_backend_checked, (0,), None),
    ("native-weston", "plain run", PLAIN, None, None, screen_figures, (0,), None),
    ("native-weston", "check", CHECK, None, None, None, (5,), NO_CAPTURE),
    ("native-weston", "every other present, OpenGL", PLAIN, "present-every-other", None, half_on_screen, (0,), None),
    ("native-weston", "late presents", PLAIN, "present-late", None, late_on_screen, (0,), None),
    ("native-sway", "plain run", PLAIN, None, None, screen_figures, (0,), None),
    ("native-sway", "headless output", PLAIN, None, None, screen_figures, (0,), None),
    ("native-sway", "every other present, OpenGL", PLAIN, "present-every-other", None, half_on_screen, (0,), None),
    ("native-sway", "late presents", PLAIN, "present-late", None, late_on_screen, (0,), None),
    ("native-sway", "check and -screenshot", FROZEN_CHECK + ["-screenshot", "shot.png"], None, captured_by_grim,
     screenshot_is_capture, (0,), None),
    ("native-sway", "Escape", KEYS, None, escape_key, ended_by("escape"), (0,), None),
    ("native-sway", "Space", KEYS, None, paused_by_space, paused_still, (0,), None),
    ("native-sway", "F11", KEYS, None, fullscreen_by_f11, ended_by("escape"), (0,), None),
    ("native-sway", "clicks while paused", KEYS, None, clicks_while_paused, one_frame_a_click, (0,), None),
    ("native-sway", "-gdicursor while paused, OpenGL", KEYS + ["-gdicursor"], None, cursor_square_while_paused,
     square_followed, (0,), None),
    ("native-sway", "sway's kill", KEYS, None, closed_by_sway, ended_by("close"), (0,), None),
    ("native-sway", "-all beside Xwayland", ["-all", "-duration", "2"], None, None, on_both_window_systems, (0,),
     None),
    ("native-mutter", "plain run", PLAIN, None, None, screen_figures, (0,), None),
    ("native-mutter", "check", CHECK, None, None, None, (0,), None),
    ("native-mutter", "check and -screenshot", FROZEN_CHECK_A_WHILE + ["-screenshot", "shot.png"], None,
     captured_by_screencast, screenshot_is_capture, (0,), None),
    ("native-mutter", "a present that shows nothing, OpenGL", CHECK, "present-nothing", None, None, (5,), NOT_FOUND),
    ("native-mutter", "every other present, OpenGL", PLAIN, "present-every-other", None, half_on_screen, (0,), None),
    ("native-mutter", "late presents", PLAIN, "present-late", None, late_on_screen, (0,), None),
)


def verdict(label, code, err, results, codes, reason):
    """Exit code, the results file's picture section and standard error agree with the row."""
    check(code in codes and (results.get("end") or {}).get("exit_code") == code,
          "%s: exit %s (%s; %s)" % (label, " or ".join(map(str, codes)), code, err.strip().splitlines()[-1:]))
    picture = results.get("picture")
    if picture is None:
        return
    checks = {c["name"]: c for c in picture.get("checks", [])}
    screen = checks.get("screen", {})
    check(checks.get("renderer", {}).get("outcome") == "passed", "%s: the renderer's check passes" % label)
    expected = {0: ("passed", True), 3: ("failed", False), 5: ("inconclusive", None)}.get(code, (None, None))
    check(screen.get("outcome") == expected[0] and picture.get("passed") is expected[1],
          "%s: the screen check is %s (%s, reason %r)"
          % (label, expected[0], screen.get("outcome"), screen.get("reason")))
    if code == 5 and code in codes:
        check(reason and re.search(reason, screen.get("reason") or ""), "%s: the reason %r matches %r"
              % (label, screen.get("reason"), reason))
        line = "picture check inconclusive: the screen's frame could not be looked at: %s\n" % screen.get("reason")
        check(line in err, "%s: a line on standard error names the reason" % label)
    if code == 3 and code in codes:
        check("picture check failed: the screen's frame differs" in err,
              "%s: standard error names the screen check" % label)
        # Mutter tells no Wayland window above the program's: the line says so there only.
        gnome = "On GNOME, a Wayland window over the program's window would look the same" in err
        check(gnome == label.startswith("mutter"), "%s: the line on GNOME's Wayland windows %s"
              % (label, "is there" if gnome else "is not there"))


def run_row(row, backend):
    kind, name, options, fault, during, after, codes, reason = row
    label = "%s, %s%s" % (kind, name, " (%s)" % backend if backend else "")
    folder = os.path.join(work, re.sub(r"\W+", "-", label))
    os.makedirs(folder)
    native = kind.startswith("native-")
    run = {"label": label, "gate": os.path.join(folder, "gate"), "stamps": os.path.join(folder, "stamps"),
           "native": native, "match": {"app_id": APP_ID} if native else {"class": "VYRTEST"}}
    started = time.monotonic()
    injected = DriverFault(faults_library, fault or "", folder)
    options_of_desktop = dict(DESKTOP_OPTIONS.get(kind, {}), **DESKTOP_OPTIONS.get(name, {}))
    with WaylandDesktop(kind[len("native-"):] if native else kind, **options_of_desktop) as desktop:
        env = desktop.env(VK_ICD_FILENAMES=lavapipe, DRIVER_FAULT_GATE=run["gate"], VYR_TEST_STAMPS=run["stamps"],
                          **injected.env())
        if native and name not in WITH_XWAYLAND:
            env["DISPLAY"] = ""  # a session without Xwayland: the program's own Wayland window
            env.pop("XAUTHORITY", None)
        if native and desktop.kind == "sway":
            seat_keyboard(desktop)
        sound = [] if name in WITH_SOUND else ["-nosound"]
        if sound == []:
            run["sound"] = Soundtrack(folder)
            env.update(run["sound"].env())
        arguments = [program] + sound + ["-report", "r.json"] + (["-vulkan"] if backend == "Vulkan" else []) + options
        with open(os.path.join(folder, "stderr"), "w") as err_file:
            p = desktop.start(arguments, cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=err_file)
            try:
                seen = during(desktop, folder, run) if during else run["stamps"]
            except AssertionError as e:
                check(False, "%s: %s (%s)" % (label, e, desktop.log("compositor")[-300:]))
                seen = None
            try:
                p.wait(timeout=300)
            except subprocess.TimeoutExpired:
                desktop.end(p)
        code = p.returncode
    err = open(os.path.join(folder, "stderr"), errors="replace").read()
    report = os.path.join(folder, "r.json")
    results = json.load(open(report)) if os.path.exists(report) else {}
    if fault and injected.not_taken():
        check(False, "%s: %s" % (label, injected.not_taken()))
    elif "-all" in options:
        code_in_file = (results.get("summary") or {}).get("exit_code")
        check(code in codes and code_in_file == code, "%s: exit %s (%s, %s)" % (label, codes, code, code_in_file))
    else:
        verdict(label, code, err, results, codes, reason)
        system = (results.get("session") or {}).get("window_system")
        check(system == ("Wayland" if native else "X11 (Xwayland)"), "%s: the window system %s" % (label, system))
    if after and seen is not None:
        after(label, results, folder, seen)
    timings.append("%s: %.1f s" % (label, time.monotonic() - started))


try:
    rows = [row for row in ROWS if row[0] == desktop_kind]
    check(bool(rows), "rows for the desktop " + desktop_kind)
    for row in rows:
        if "-all" in row[2]:
            run_row(row, None)
            continue
        for backend in ("OpenGL", "Vulkan"):
            if ONE_BACKEND.get(row[1], backend) == backend:
                run_row(row, backend)
finally:
    print("times:\n" + "\n".join("  " + t for t in timings))
    if not os.environ.get("VYR_KEEP_WORK"):
        shutil.rmtree(work, ignore_errors=True)
    else:
        print("kept", work)

sys.exit(1 if failures else 0)
