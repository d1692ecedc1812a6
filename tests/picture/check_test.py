#!/usr/bin/env python3
"""-check, -scenetime and -screenshot of the real program, table-driven.

Usage: check_test.py <group> <native bin dir> [windows build dir]
Groups:
  backends   every native back-end at 0, 2, 4 and 8 samples passes the check
  faults     a driver or display fault (tests/preload/driver_faults.c, preloaded)
             makes it fail with exit code 3, the check and region named, the
             frames written
  reference  the OpenGL frame has not drifted from the reference in the tree
  scenetime  the same -scenetime gives the same frame, run to run and on both
             native back-ends; -screenshot holds the window's pixels
  desktop    real desktop parts around the window (openbox, a window kept above,
             i3lock, picom, a window the program raises itself above, a
             minimised window, the screen saver, a VNC server read by a VNC client): the screen check
             passes, fails, or is inconclusive with the reason; no display at all
             is said on standard error
  wine       the Windows build's back-ends under Wine pass at 0 to 8 samples
  wine-desktop  under Wine, a window kept on top over the program and a start
             minimised give 5 (or 0 once restored), never 3
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from test_display import DriverFault, TestDisplay, wait_until  # noqa: E402

group, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
windows_dir = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
here = os.path.dirname(os.path.abspath(__file__))
source = os.path.dirname(os.path.dirname(here))
program = os.path.join(bin_dir, "vyrtest")
faults_library = os.path.join(bin_dir, "..", "tests", "preload", "driver_faults.so")
work = tempfile.mkdtemp(prefix="vyr-picture.")
failures = []
measured = []

# The six regions, as the results file names them.
REGIONS = ["background", "stars", "logos", "pause label", "OFF indicator", "whole frame"]


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what, flush=True)
    if not ok:
        failures.append(what)


def environment(display, **extra):
    return display.env(XDG_DATA_HOME=work, **extra)


def run(display, name, arguments, **extra):
    """The program to its end in a folder of its own: exit code, stderr, results."""
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    code, _, err = display.run([program, "-nosound", "-report", "r.json"] + arguments, cwd=folder, timeout=300,
                               env=environment(display, **extra))
    report = os.path.join(folder, "r.json")
    results = json.load(open(report)) if os.path.exists(report) else {}
    return code, err, results, folder


def pixels(path):
    """The PNG's size and RGB bytes, read by ImageMagick (not by the program)."""
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True).stdout
    return tuple(int(s) for s in size), data


def record(label, results):
    picture = results.get("picture") or {}
    for c in picture.get("checks", []):
        regions = c.get("regions") or {}
        measured.append("%s %s: %s" % (label, c["name"], " ".join(
            "%s=%.4f" % (r.split()[0], regions[r]) for r in REGIONS if regions.get(r) is not None)))


def passes(label, code, err, results):
    record(label, results)
    picture = results.get("picture") or {}
    check(code == 0 and picture.get("passed") is True and "picture check failed" not in err,
          "%s: exit 0 and the picture passes (exit %s, %s)" % (label, code, err.strip().splitlines()[-1:]))
    names = [c.get("name") for c in picture.get("checks", [])]
    check(names == ["renderer", "screen"] and all(c["difference"] is not None and c["difference"] <= c["limit"] for c in picture["checks"]),
          "%s: both checks within their limits" % label)


try:
    if group == "backends":
        with TestDisplay() as display:
            for backend, options in (("OpenGL", []), ("Vulkan", ["-vulkan"])):
                for samples in ("0", "2", "4", "8"):
                    label = "%s -ms %s" % (backend, samples)
                    code, err, results, _ = run(display, "%s-%s" % (backend, samples),
                                                options + ["-ms", samples, "-check", "-duration", "1"])
                    passes(label, code, err, results)
            # Drawn at 640 x 400 in a corner of a larger window: OpenGL's bottom-left,
            # Vulkan's top-left (tests/vulkan); the screen check must look there.
            code, err, results, _ = run(display, "fullscreen", ["-fullscreen", "-check", "-duration", "1"])
            passes("OpenGL fullscreen", code, err, results)
            # A remote session hides the OFF indicator from its own frames, not
            # from the check frame, which must still match the reference.
            ports = os.path.join(work, "Tarsel", "VYR")
            display.start([os.path.join(bin_dir, "vyrd-sim"), "--answer", "1", "--port-file-dir", ports],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=environment(display))
            wait_until(lambda: os.path.isdir(ports) and os.listdir(ports), "vyrd-sim's port file")
            code, err, results, _ = run(display, "remote", ["-check", "-duration", "1"])
            check((results.get("session") or {}).get("remote") is True, "remote session: VYR ON")
            passes("OpenGL in a remote session", code, err, results)
    elif group == "faults":
        # fault, back-end options, the check that must fail, the region it must name.
        table = (
            ("present-nothing", [], "screen", None),
            ("present-nothing", ["-vulkan"], "screen", None),
            ("drop-meshes", [], "renderer", None),
            ("drop-textures", [], "renderer", None),
            ("drop-overlays", [], "renderer", None),
            ("swap-red-blue", [], "renderer", None),
            ("depth-clear-nothing", [], "renderer", "logos"),
            ("depth-clear-nothing", ["-vulkan"], "renderer", "logos"),
        )
        with TestDisplay() as display:
            for fault, options, failing, region in table:
                label = fault + (" (Vulkan)" if options else " (OpenGL)")
                injected = DriverFault(faults_library, fault, work)
                code, err, results, folder = run(display, label.replace(" ", ""), options + ["-check", "-duration", "1"],
                                                 **injected.env())
                record(label, results)
                if injected.not_taken():
                    check(False, "%s: %s" % (label, injected.not_taken()))
                    continue
                picture = results.get("picture") or {}
                checks = {c["name"]: c for c in picture.get("checks", [])}
                check(code == 3 and results.get("end", {}).get("exit_code") == 3, "%s: exit code 3 (%s)" % (label, code))
                check(picture.get("passed") is False and checks.get(failing, {}).get("passed") is False,
                      "%s: the %s check fails" % (label, failing))
                named = re.search(r"picture check failed: .*%s.* in the (.+?) \(difference" % failing, err)
                check(named is not None, "%s: a line on standard error names the %s check and the region" % (label, failing))
                if region:
                    check(named is not None and named.group(1) == region and checks[failing]["worst_region"] == region,
                          "%s: the region named is the %s (%s)" % (label, region, named.group(1) if named else None))
                images = [os.path.join(folder, "r.renderer.png"), os.path.join(folder, "r.screen.png")]
                check(all(os.path.exists(p) for p in images) and picture.get("images") == ["r.renderer.png", "r.screen.png"],
                      "%s: both frames written beside the results file" % label)
                if fault == "present-nothing":
                    size, data = pixels(images[1])
                    check(size == (640, 400) and max(data) < 16, "%s: the window's frame is black" % label)
                    check(checks["renderer"]["passed"] is True, "%s: the renderer's frame still passes" % label)
    elif group == "reference":
        # vyr-refgen draws the frame afresh; Mesa's rasteriser gives the same bytes every time.
        with TestDisplay() as display:
            fresh = os.path.join(work, "fresh.png")
            subprocess.run([os.path.join(bin_dir, "vyr-refgen"), fresh], env=environment(display), check=True,
                           capture_output=True, timeout=120)
            kept = os.path.join(source, "assets", "reference", "check_frame.png")
            a, b = pixels(fresh), pixels(kept)
            differing = sum(1 for x, y in zip(a[1], b[1]) if abs(x - y) > 2)
            check(a[0] == b[0] == (640, 400) and differing <= 0.001 * len(a[1]),
                  "the OpenGL frame matches assets/reference/check_frame.png (%d bytes differ by more than 2)" % differing)
            code, err, results, _ = run(display, "reference", ["-check", "-duration", "1"])
            renderer = (results.get("picture") or {}).get("checks", [{}])[0]
            check(code == 0 and renderer.get("regions", {}).get("whole frame", 1) < 0.002,
                  "the program's own OpenGL frame is the reference (%s)" % renderer.get("regions"))
    elif group == "scenetime":
        with TestDisplay() as display:
            shots = {}
            # "checked": after the check frame a paused run draws its frozen frame
            # again, which must be the frame it first showed, at -scenetime.
            for name, options in (("a", []), ("b", []), ("vulkan", ["-vulkan", "-ms", "0"]), ("gl0", ["-ms", "0"]),
                                  ("later", ["-scenetime", "2.5"]), ("checked", ["-check"])):
                arguments = ["-paused", "-duration", "0.5", "-screenshot", "shot.png"]
                arguments += options if "-scenetime" in options else options + ["-scenetime", "2.384"]
                code, err, results, folder = run(display, name, arguments)
                check(code == 0, "-scenetime %s: exit 0" % name)
                shots[name] = pixels(os.path.join(folder, "shot.png"))
            check(shots["a"][0] == (640, 400) and shots["a"] == shots["b"], "-scenetime: the same frame run to run")
            check(shots["checked"] == shots["a"], "-scenetime: the frozen frame drawn again is the first frame")
            check(shots["a"] != shots["later"], "-scenetime: another time gives another frame")
            same = sum(1 for x, y in zip(shots["vulkan"][1], shots["gl0"][1]) if abs(x - y) > 48)
            check(same < 0.01 * len(shots["gl0"][1]), "-scenetime: Vulkan's frame is OpenGL's (%d bytes differ)" % same)
            # -screenshot against the test's own read of the screen where the paused window shows.
            folder = os.path.join(work, "own")
            os.makedirs(folder)
            p = display.start([program, "-nosound", "-paused", "-scenetime", "1", "-screenshot", "shot.png"],
                              cwd=folder, env=environment(display), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            window = display.wait_for_window()
            seen = []

            def settled():
                seen.append(display.screen_pixels(window))
                return len(seen) > 1 and seen[-1] and seen[-1] == seen[-2] and max(seen[-1]) > 16

            wait_until(settled, "a still, drawn picture where the paused window shows", 60, 0.2)
            display.x("xdotool", "key", "--window", window, "Escape")
            check(p.wait(timeout=60) == 0, "-screenshot: Escape ends with 0")
            check(pixels(os.path.join(folder, "shot.png")) == ((640, 400), seen[-1]),
                  "-screenshot holds what the screen shows of the window")
    elif group == "desktop":
        picom = ["picom", "--backend", "xrender"]
        hidden = picom + ["--opacity-rule", "0:class_g = 'VYRTEST'"]

        def cover(display, window):
            """A plain window over the whole screen, above the program's."""
            display.start(["xterm", "-geometry", "300x100+0+0", "-title", "cover"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
            return wait_until(lambda: (display.x("xdotool", "search", "--onlyvisible", "--name", "^cover$") or "").split(),
                              "the covering window")[0]

        def kept_above(display, window):
            display.x("wmctrl", "-i", "-r", cover(display, window), "-b", "add,above")

        def locker(display, window):
            display.start(["i3lock", "-n", "-c", "203040"])
            wait_until(lambda: '"i3lock"' in (display.x("xwininfo", "-root", "-children") or ""), "i3lock's window")

        def blank(display, window):
            display.x("xset", "s", "activate")

        def minimise(display, window):
            display.x("xdotool", "windowminimize", window)
            wait_until(lambda: "IsViewable" not in (display.x("xwininfo", "-id", window) or "IsViewable"),
                       "the program's window minimised")

        # What is around the window when its first frame is presented, the exit
        # codes allowed, and the screen check's reason when inconclusive.
        table = (
            ("a window kept above it (openbox)", dict(window_manager=True), kept_above, [], (5,), r'^covered by the window "cover"$'),
            ("a screen locker", {}, locker, [], (5,), r'^covered by the window "i3lock"$'),
            ("a screen locker, Vulkan", {}, locker, ["-vulkan"], (5,), r'^covered by the window "i3lock"$'),
            ("a screen locker under a compositor", dict(compositor=picom), locker, [], (5,), r'^covered by the window "i3lock"$'),
            ("a compositor", dict(compositor=picom), None, [], (0,), None),
            ("a compositor, Vulkan", dict(compositor=picom, window_manager=True), None, ["-vulkan"], (0,), None),
            ("a compositor that hides the window", dict(compositor=hidden), None, [], (3,), None),
            ("a window it raises itself above", {}, cover, [], (0,), None),
            ("a window it raises itself above (openbox)", dict(window_manager=True), cover, [], (0,), None),
            ("minimised (openbox)", dict(window_manager=True), minimise, [], (0, 5), r"^minimised$"),
            ("the screen saver", {}, blank, [], (5,), r"^the screen is blanked by the screen saver$"),
        )
        for label, desktop, action, options, codes, reason in table:
            with TestDisplay(**desktop) as display:
                folder = os.path.join(work, re.sub(r"\W+", "-", label))
                os.makedirs(folder)
                gate = os.path.join(folder, "gate")
                held = DriverFault(faults_library, "hold-first-present", folder)
                p = display.start([program, "-nosound", "-report", "r.json", "-check", "-duration", "1"] + options,
                                  cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                  env=environment(display, DRIVER_FAULT_GATE=gate, **held.env()))
                window = display.wait_for_window()
                if action:
                    action(display, window)
                open(gate, "w").close()
                try:
                    err = p.communicate(timeout=120)[1]
                except subprocess.TimeoutExpired:
                    display.end(p)
                    err = p.communicate()[1]
                code = p.returncode
                check(held.took(), "%s: %s" % (label, held.not_taken() or "the first present was held"))
                results = json.load(open(os.path.join(folder, "r.json"))) if os.path.exists(os.path.join(folder, "r.json")) else {}
                record(label, results)
                picture = results.get("picture") or {}
                checks = {c["name"]: c for c in picture.get("checks", [])}
                screen = checks.get("screen", {})
                check(code in codes and (results.get("end") or {}).get("exit_code") == code,
                      "%s: exit %s (%s; %s)" % (label, " or ".join(map(str, codes)), code, err.strip().splitlines()[-1:]))
                check(checks.get("renderer", {}).get("outcome") == "passed", "%s: the renderer's check passes" % label)
                expected = {0: ("passed", True), 3: ("failed", False), 5: ("inconclusive", None)}.get(code, (None, None))
                check(screen.get("outcome") == expected[0] and picture.get("passed") is expected[1],
                      "%s: the screen check is %s, the picture's verdict %s" % (label, expected[0], expected[1]))
                if code == 5:
                    check(reason and re.search(reason, screen.get("reason") or "") and screen.get("passed") is None,
                          "%s: the reason is %r (%r)" % (label, reason, screen.get("reason")))
                    check(("picture check inconclusive: the screen's frame could not be looked at: %s\n" % screen.get("reason")) in err,
                          "%s: a line on standard error names the reason" % label)
                else:
                    check(screen.get("reason") is None, "%s: no reason without an inconclusive check" % label)
                if code == 3:
                    check(re.search(r"picture check failed: the screen's frame differs", err) is not None,
                          "%s: standard error names the screen check" % label)

        # A real remote-desktop server read by a real viewer: the check passes,
        # and the viewer's pixels where the window shows are the program's screenshot.
        with TestDisplay(vnc=True) as display:
            folder = os.path.join(work, "vnc")
            os.makedirs(folder)
            p = display.start([program, "-nosound", "-report", "r.json", "-check", "-paused", "-scenetime", "2",
                               "-screenshot", "shot.png"], cwd=folder, env=environment(display),
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            window = display.wait_for_window()
            place = display.x("xwininfo", "-id", window) or ""
            x, y = (int(re.search(r"Absolute upper-left %s:\s+(-?\d+)" % a, place).group(1)) for a in "XY")
            views = []

            def view_settles():
                shot = os.path.join(folder, "view%d.jpg" % len(views))
                display.run(["vncsnapshot", "-quiet", "-encodings", "raw", "-rect", "640x400+%d+%d" % (x, y),
                             "127.0.0.1::%d" % display.vnc_port, shot], timeout=60)
                views.append(pixels(shot) if os.path.exists(shot) else None)
                return len(views) > 1 and views[-1] and views[-1] == views[-2] and max(views[-1][1]) > 16

            wait_until(view_settles, "a still picture in the VNC viewer", 60, 0.2)
            display.x("xdotool", "key", "--window", window, "Escape")
            err = p.communicate(timeout=60)[1]
            results = json.load(open(os.path.join(folder, "r.json")))
            check(p.returncode == 0 and (results.get("picture") or {}).get("passed") is True,
                  "VNC server: the check passes (exit %s, %s)" % (p.returncode, err.strip().splitlines()[-1:]))
            view = os.path.join(folder, "view%d.jpg" % (len(views) - 1))
            psnr = subprocess.run(["compare", "-metric", "PSNR", view, os.path.join(folder, "shot.png"), "null:"],
                                  capture_output=True, text=True).stderr.split()
            value = float(psnr[0]) if psnr and psnr[0].replace(".", "", 1).isdigit() else (99.0 if psnr[:1] == ["inf"] else 0.0)
            check(value >= 30, "VNC server: the viewer's pixels are the program's screenshot (PSNR %s dB)" % psnr[:1])

        # No display: the banner, exit 1, and one line naming the display and why.
        for backend in ([], ["-vulkan"]):
            for name, value in (("unset", None), ("no server", "nohost.invalid:0")):
                env = dict(os.environ)
                env.pop("DISPLAY", None)
                if value:
                    env["DISPLAY"] = value
                done = subprocess.run([program, "-nosound", "-duration", "1"] + backend, capture_output=True, text=True,
                                      env=env, timeout=60)
                lines = done.stderr.splitlines()
                check(done.returncode == 1 and done.stdout.startswith("TARSEL VYR") and len(lines) == 1 and
                      lines[0].startswith("vyrtest: cannot open the display") and (value or "DISPLAY is not set") in lines[0],
                      "no display (%s%s): exit 1 and one line naming it (%s, %r)" % (name, " ".join([""] + backend),
                                                                                      done.returncode, lines))
    elif group == "wine-desktop":
        # The Windows build under Wine: a window kept on top over it (Win32's own
        # Z-order) and a start minimised are never a wrong picture.
        exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
        cover_exe = os.path.join(windows_dir, "tests", "cover_window.exe")
        with TestDisplay(screen="1024x768x24") as display:
            env = display.env(WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
            try:
                display.run(["wineboot", "-i"], env=env, timeout=300)
                display.run(["wineserver", "-w"], env=env, timeout=300)
                for label, prefix, codes, reason in (
                        ("a window kept on top", [], (5,), r'^covered by the window "cover"$'),
                        ("started minimised", ["start", "/wait", "/min", "/unix"], (0, 5), r"^minimised$")):
                    folder = os.path.join(work, re.sub(r"\W+", "-", label))
                    os.makedirs(folder)
                    cover = None
                    if not prefix:
                        cover = display.start(["wine", cover_exe], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                        wait_until(lambda: (display.x("xdotool", "search", "--onlyvisible", "--name", "^cover$") or "").split(),
                                   "the covering window", 120)
                    report = os.path.join(folder, "r.json")
                    for attempt in range(2):  # Wine's own start-up failure (c0000018) is tried once more
                        code, _, err = display.run(["wine"] + prefix + [exe, "-nosound", "-check", "-duration", "1",
                                                                        "-report", report], cwd=folder, env=env,
                                                   timeout=300)
                        if os.path.exists(report) or "c0000018" not in err:
                            break
                    if cover:
                        display.end(cover)
                    results = json.load(open(report)) if os.path.exists(report) else {}
                    screen = {c["name"]: c for c in (results.get("picture") or {}).get("checks", [])}.get("screen", {})
                    end = (results.get("end") or {}).get("exit_code")
                    check(end in codes and screen.get("outcome") in ("passed", "inconclusive"),
                          "Wine, %s: exit %s, never 3 (%s, screen %s: %s)" % (label, " or ".join(map(str, codes)), end,
                                                                              screen.get("outcome"), screen.get("reason")))
                    if end == 5:
                        check(re.search(reason, screen.get("reason") or "") is not None,
                              "Wine, %s: the reason is %r (%r)" % (label, reason, screen.get("reason")))
            finally:
                display.run(["wineserver", "-k"], env=env, timeout=60)
    elif group == "wine":
        exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
        runs = [(b, s) for b in ("OpenGL", "Direct3D 9", "Vulkan") for s in ("0", "2", "4", "8")]
        flag = {"OpenGL": "", "Direct3D 9": "-directx9", "Vulkan": "-vulkan"}
        lines = ['. "%s/../wine/wine_run.sh"; wine_session_start; set +e; cd "%s"' % (here, work)]
        for i, (backend, samples) in enumerate(runs):
            lines.append('wine "%s" -nosound %s -ms %s -check -duration 1 -report w%d.json >w%d.out 2>w%d.err; '
                         'echo "exit %d $?"' % (exe, flag[backend], samples, i, i, i, i))
        done = subprocess.run(["bash", "-c", "\n".join(lines)], capture_output=True, text=True, timeout=1500,
                              env=dict(os.environ, SDL_AUDIODRIVER="dummy"))
        codes = dict(re.findall(r"^exit (\d+) (\d+)$", done.stdout, re.M))
        for i, (backend, samples) in enumerate(runs):
            path = os.path.join(work, "w%d.json" % i)
            results = json.load(open(path)) if os.path.exists(path) else {}
            err = open(os.path.join(work, "w%d.err" % i), errors="replace").read() if os.path.exists(
                os.path.join(work, "w%d.err" % i)) else ""
            passes("Wine %s -ms %s" % (backend, samples), int(codes.get(str(i), -1)), err, results)
    else:
        check(False, "unknown group " + group)
finally:
    if measured:
        print("measured differences:")
        print("\n".join("  " + m for m in measured))
    if not os.environ.get("VYR_KEEP_WORK"):
        shutil.rmtree(work, ignore_errors=True)
    else:
        print("kept", work)

sys.exit(1 if failures else 0)
