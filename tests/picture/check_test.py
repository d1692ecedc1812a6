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
  wine       the Windows build's back-ends under Wine pass at 0 to 8 samples
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

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


class Display:
    """A virtual X server of our own."""

    def __enter__(self):
        n = 600
        while os.path.exists("/tmp/.X%d-lock" % n):
            n += 1
        self.name = ":%d" % n
        self.server = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while subprocess.call(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL) != 0:
            if time.monotonic() > deadline:
                raise RuntimeError("Xvfb did not start")
            time.sleep(0.1)
        return self

    def __exit__(self, *exc):
        self.server.terminate()
        self.server.wait()


def environment(display, **extra):
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", XDG_DATA_HOME=work, LIBGL_ALWAYS_SOFTWARE="1",
               DISPLAY=display.name)
    env.update(extra)
    return env


def run(display, name, arguments, **extra):
    """The program to its end in a folder of its own: exit code, stderr, results."""
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    done = subprocess.run([program, "-nosound", "-report", "r.json"] + arguments, cwd=folder, capture_output=True,
                          text=True, env=environment(display, **extra), timeout=300)
    report = os.path.join(folder, "r.json")
    results = json.load(open(report)) if os.path.exists(report) else {}
    return done.returncode, done.stderr, results, folder


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
        with Display() as display:
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
            sim = subprocess.Popen([os.path.join(bin_dir, "vyrd-sim"), "--answer", "1", "--port-file-dir",
                                    os.path.join(work, "Tarsel", "VYR")], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, env=environment(display))
            try:
                deadline = time.monotonic() + 30
                while not (os.path.isdir(os.path.join(work, "Tarsel", "VYR")) and os.listdir(
                        os.path.join(work, "Tarsel", "VYR"))) and time.monotonic() < deadline:
                    time.sleep(0.05)
                code, err, results, _ = run(display, "remote", ["-check", "-duration", "1"])
                check((results.get("session") or {}).get("remote") is True, "remote session: VYR ON")
                passes("OpenGL in a remote session", code, err, results)
            finally:
                sim.terminate()
                sim.wait()
    elif group == "faults":
        # fault, back-end options, the check that must fail, the region it must name.
        table = (
            ("present-nothing", [], "screen", None),
            ("drop-meshes", [], "renderer", None),
            ("drop-textures", [], "renderer", None),
            ("drop-overlays", [], "renderer", None),
            ("swap-red-blue", [], "renderer", None),
            ("depth-clear-nothing", [], "renderer", "logos"),
            ("depth-clear-nothing", ["-vulkan"], "renderer", "logos"),
        )
        with Display() as display:
            for fault, options, failing, region in table:
                label = fault + (" (Vulkan)" if options else " (OpenGL)")
                code, err, results, folder = run(display, label.replace(" ", ""), options + ["-check", "-duration", "1"],
                                                 LD_PRELOAD=faults_library, DRIVER_FAULT=fault)
                record(label, results)
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
        with Display() as display:
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
        with Display() as display:
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
            # -screenshot against the test's own capture of the paused window.
            folder = os.path.join(work, "own")
            os.makedirs(folder)
            env = environment(display)
            p = subprocess.Popen([program, "-nosound", "-paused", "-scenetime", "1", "-screenshot", "shot.png"],
                                 cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            found = subprocess.run(["timeout", "60", "xdotool", "search", "--sync", "--onlyvisible", "--name",
                                    r"\(OpenGL\)"], capture_output=True, text=True, env=env).stdout.split()
            own, previous, deadline = os.path.join(folder, "own.png"), None, time.monotonic() + 60
            while found and time.monotonic() < deadline:
                subprocess.run(["import", "-window", found[0], own], env=env, capture_output=True)
                current = pixels(own)
                if current == previous and max(current[1] or b"\0") > 16:
                    break
                previous = current
            subprocess.run(["xdotool", "key", "--window", found[0] if found else "0", "Escape"], env=env)
            check(p.wait(timeout=60) == 0, "-screenshot: Escape ends with 0")
            check(pixels(os.path.join(folder, "shot.png")) == pixels(own), "-screenshot holds the window's pixels")
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
