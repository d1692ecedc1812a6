#!/usr/bin/env python3
"""The real program with -vulkan on a test display and Mesa's lavapipe, always under the
Khronos validation layer: any validation message fails the case.

Usage: vulkan_program_check.py <case> <build bin dir> [windows build dir [x86_64|i686]]
Cases: report, picture, keys, fatal, check, wine.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from test_display import DriverFault, TestDisplay, WaitFailed, run_session, wait_until  # noqa: E402

case, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
windows_dir = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
windows_arch = sys.argv[4] if len(sys.argv) > 4 else "x86_64"
program = os.path.join(bin_dir, "vyrtest")
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="vyr-vulkan.")
failures = []
VALIDATION = re.compile(r"Validation (Error|Warning|Performance)|VUID-")


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


def environment(display=None, **extra):
    """The program's environment, always under the validation layer; without a display, none at all."""
    extra = dict(VK_INSTANCE_LAYERS="VK_LAYER_KHRONOS_validation", XDG_DATA_HOME=work, **extra)
    if display:
        return display.env(**extra)
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", LIBGL_ALWAYS_SOFTWARE="1", **extra)
    env.pop("DISPLAY", None)
    return env


class Program:
    """The program in its window: started, found, driven, ended."""

    def __init__(self, display, arguments, backend="Vulkan", extra=None):
        self.display = display
        self.out = open(os.path.join(work, "out.txt"), "w+")
        self.err = open(os.path.join(work, "err.txt"), "w+")
        self.process = display.start([program, "-nosound"] + arguments, stdout=self.out, stderr=self.err,
                                     env=environment(display, **(extra or {})))
        title = r"\(%s\)" % backend

        def window_or_end():
            found = (display.x("xdotool", "search", "--onlyvisible", "--name", title) or "").split()
            return found[:1] or self.process.poll() is not None
        try:
            found = wait_until(window_or_end, "a window titled '... (%s)'" % backend, 60)
        except WaitFailed as e:
            print(e)
            found = None
        self.window = found[0] if isinstance(found, list) else None

    def xdotool(self, *arguments):
        self.display.x("xdotool", *arguments)

    def key(self, name):
        self.xdotool("key", "--window", self.window, name)

    def shot(self, name, window=None):
        path = os.path.join(work, name + ".png")
        self.display.save_window(window or self.window, path)
        return path

    def settled_shot(self, name, timeout=60, still=1.0):
        """The window's picture once it has stayed the same, and not black, for `still`
        seconds: two shots in a row can match on a busy machine whose program drew
        no frame between them."""
        previous, since, deadline = None, None, time.monotonic() + timeout
        while time.monotonic() < deadline:
            taken = time.monotonic()
            path = self.shot(name)
            if previous and region_difference(previous, path, None) == 0 and mean(path) > 0.01:
                if taken - since >= still:
                    return path
            else:
                previous, since = shutil.copy(path, path + ".previous.png"), taken
        print("the picture of %s did not settle within %d s" % (name, timeout))
        return path

    def end(self):
        if self.process.poll() is None and self.window:
            self.key("Escape")
        try:
            code = self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            print("the program did not end within 60 s of Escape")
            self.display.end(self.process)
            code = self.process.wait()
        self.out.seek(0)
        self.err.seek(0)
        return code, self.out.read(), self.err.read()


def mean(path, region=None):
    crop = ["-crop", region, "+repage"] if region else []
    text = subprocess.run(["convert", path] + crop + ["-colorspace", "gray", "-format", "%[fx:mean]", "info:"],
                          capture_output=True, text=True).stdout
    return float(text or 0)


def region_difference(a, b, region):
    """Mean absolute difference of two pictures (0 to 1), in 20 x 20 cells so that
    where things are counts and how each API samples and antialiases does not."""
    crop = ["-crop", region, "+repage"] if region else []
    cells = []
    for path in (a, b):
        text = subprocess.run(["convert", path] + crop + ["-scale", "5%", "-depth", "8", "txt:-"],
                              capture_output=True, text=True).stdout
        cells.append(re.findall(r"^\d+,\d+: \((\d+),(\d+),(\d+)", text, re.M))
    if len(cells[0]) != len(cells[1]) or not cells[0]:
        return 1.0
    total = sum(abs(int(x) - int(y)) for p, q in zip(*cells) for x, y in zip(p, q))
    return total / (255.0 * 3 * len(cells[0]))


def vulkaninfo_lists(display):
    """The instance extensions and those of the one device, as vulkaninfo finds them."""
    # The lists do not depend on a display; without one it asks no window system.
    env = environment()
    done = subprocess.run(["vulkaninfo"], capture_output=True, text=True, env=env, timeout=60)
    text = done.stdout
    said = [line for line in done.stderr.splitlines() if "XDG_RUNTIME_DIR" not in line and "Loader Message" not in line]
    check(done.returncode == 0, "vulkaninfo ends with 0 (%d)%s" % (done.returncode, "".join("\n  " + l for l in said[-5:])))
    lists = {}
    for heading in ("Instance Extensions", "Device Extensions"):
        block = re.search(r"^%s: count = (\d+)\n(?:=+\n)?((?:\t.*\n)*)" % heading, text, re.M)
        names = re.findall(r"^\t(\w+)\s*: extension revision", block.group(2), re.M) if block else []
        check(block is not None and int(block.group(1)) == len(names), "vulkaninfo's %s: %d listed" % (heading, len(names)))
        lists[heading] = names
    return lists


def no_validation_messages(*texts):
    found = [line for text in texts for line in text.splitlines() if VALIDATION.search(line)]
    check(not found, "no validation messages" + (": " + found[0][:200] if found else ""))


try:
    report = os.path.join(work, "result.json")
    if case == "report":
        with TestDisplay() as display:
            p = Program(display, ["-vulkan", "-paused", "-report", report])
            check(p.window is not None, "the window " + r"'... (Vulkan)'")
            code, out, err = p.end()
            driver_lists = vulkaninfo_lists(display)
        check(code == 0, "Escape ends with 0")
        lines = out.splitlines()
        check(" - Valid MSAA samples: 4 (MSAA is ON)" in lines, "the MSAA line as with OpenGL")
        at = lines.index("Vulkan Info:") if "Vulkan Info:" in lines else -1
        check(at > 0 and lines[at - 1] == "", "a Vulkan Info section after a blank line")
        expected = ["VK_DEVICE_NAME: llvmpipe", "VK_DEVICE_TYPE: CPU", "VK_API_VERSION: 1.", "VK_DRIVER: llvmpipe",
                    "VK_DRIVER_VERSION: 0x", "VK_DEVICE_LOCAL_MEMORY: ", "VK_INSTANCE_EXTENSIONS: ",
                    "VK_DEVICE_EXTENSIONS: "]
        got = lines[at + 1:at + 1 + len(expected)] if at >= 0 else []
        eight = len(got) == len(expected) and all(g.startswith(" - " + e) for g, e in zip(got, expected))
        check(eight, "its eight lines" + ("" if eight else ": %s" % got))
        check("VK_KHR_swapchain" in out and "VK_KHR_xlib_surface" in out, "the extension lists")
        check("\nVYR OFF\n\n" in out, "the daemon decides: VYR OFF")
        # The counts in the file against the console's lists and the driver's own.
        results = json.load(open(report))
        for field, name, heading in (("window_system_extensions", "VK_INSTANCE_EXTENSIONS", "Instance Extensions"),
                                     ("extensions", "VK_DEVICE_EXTENSIONS", "Device Extensions")):
            line = re.search(r"^ - %s: (.*)$" % name, out, re.M)
            words = line.group(1).split() if line else []
            check(results["driver"][field] == len(words) and sorted(words) == sorted(driver_lists[heading]),
                  "%s: %s, the console lists %d, vulkaninfo %d" % (field, results["driver"][field], len(words),
                                                                  len(driver_lists[heading])))
        check("software rasteriser (device type CPU" in err, "a CPU device is a software rasteriser")
        check(results["program"]["backend"] == "Vulkan" and results["driver"]["software_rasteriser"] is True,
              "results file: back-end and software rasteriser")
        check(results["granted"]["present_mode"] == "fifo" and results["granted"]["samples"] == 4,
              "results file: FIFO presents and 4 samples")
        no_validation_messages(out, err)
    elif case == "picture":
        # Both back-ends' frames frozen at 180 degrees of the spin, where the back
        # logo shows whole over the front one's depth, region by region; then
        # Vulkan again with a driver that keeps the depth between the logos (a
        # depth clear that does nothing), which must hide the back logo.
        faults = os.path.join(bin_dir, "..", "tests", "preload", "driver_faults.so")
        shots = {}
        depth_kept = DriverFault(faults, "depth-clear-nothing", work)
        with TestDisplay() as display:
            for name, backend, arguments, extra in (
                    ("Vulkan", "Vulkan", ["-vulkan"], {}),
                    ("OpenGL", "OpenGL", [], {}),
                    ("Vulkan, depth kept", "Vulkan", ["-vulkan"], depth_kept.env())):
                p = Program(display, ["-paused", "-scenetime", "%.6f" % (180 / 75.5)] + arguments, backend, extra)
                shots[name] = p.settled_shot(name.replace(" ", "").replace(",", ""))
                code, out, err = p.end()
                check(code == 0, name + " ends with 0")
                if backend == "Vulkan":
                    no_validation_messages(out, err)
        check(depth_kept.took(), depth_kept.not_taken() or "the depth fault took")
        # Client area 640 x 400 at the window's origin (no window manager).
        logos = "240x120+200+140"
        for name, region, tolerance in (("background", "640x90+0+0", 0.05), ("logos", logos, 0.05),
                                        ("pause label", "128x41+0+359", 0.05), ("OFF indicator", "128x41+502+359", 0.05),
                                        ("whole frame", "640x400+0+0", 0.04)):
            d = region_difference(shots["Vulkan"], shots["OpenGL"], region)
            check(d <= tolerance, "%s: difference %.4f (at most %.2f)" % (name, d, tolerance))
        d = region_difference(shots["Vulkan, depth kept"], shots["OpenGL"], logos)
        check(d > 0.05, "a depth clear that does nothing hides the back logo: difference %.4f (over 0.05)" % d)
    elif case == "keys":
        with TestDisplay() as display:
            p = Program(display, ["-vulkan", "-fl", "30"])
            text_region = "200x20+0+0"
            before = mean(p.shot("start"), text_region)
            p.key("f")
            # F: the frame-rate text appears in the top-left corner.
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline and mean(p.shot("text"), text_region) < before + 0.02:
                time.sleep(0.05)
            check(mean(p.shot("text"), text_region) >= before + 0.02, "F shows the frame-rate text")
            # Space: the scene stops; again: it moves on.
            p.key("space")
            # Paused: the picture settles, and five more captures in a row (each a
            # frame or more apart at 30 frames a second) find it unchanged.
            paused = p.settled_shot("paused")
            moved = [i for i in range(5) if region_difference(paused, p.shot("still%d" % i), None) != 0]
            check(not moved, "Space pauses the scene" + (": capture %d differs" % moved[0] if moved else ""))
            p.key("space")
            deadline, moved = time.monotonic() + 60, False
            while time.monotonic() < deadline and not moved:
                moved = region_difference(paused, p.shot("moving"), None) > 0
            check(moved, "Space again resumes")
            # Resize: the OFF indicator follows the new bottom-right corner.
            p.xdotool("windowsize", p.window, "800", "500")
            deadline, placed = time.monotonic() + 60, False
            while time.monotonic() < deadline and not placed:
                shot = p.shot("resized")
                size = subprocess.run(["identify", "-format", "%w %h", shot], capture_output=True, text=True).stdout
                placed = size == "800 500" and mean(shot, "128x41+662+459") > 0.05
            check(placed, "resize: drawn at 800 x 500 with the OFF indicator in its corner")
            # F11: the window covers the screen; F11 again gives back 800 x 500.
            p.key("F11")
            deadline, full = time.monotonic() + 60, False
            while time.monotonic() < deadline and not full:
                full = "1280x1024" in (display.x("xdotool", "getwindowgeometry", p.window) or "")
            check(full, "F11 makes it fullscreen")
            p.key("F11")
            code, out, err = p.end()
        check(code == 0, "Escape ends with 0")
        no_validation_messages(out, err)
    elif case == "fatal":
        with TestDisplay() as display:
            code, out, err = display.run([program, "-vulkan", "-nosound", "-report", report], timeout=60,
                                         env=environment(display, VK_ICD_FILENAMES=os.path.join(work, "none.json")))
        message = "Cannot create the Vulkan Device. Please check your installation of Vulkan"
        check(code == 1 and message in err, "no Vulkan driver: the message and exit code 1")
        results = json.load(open(report))
        check(results["end"] == {"exit_code": 1, "reason": "fatal", "message": message}, "the results file says so")
    elif case == "check":
        # -check reads the frame back from the swap chain and compares it with the
        # window's copy: in a window, and drawn at 640 x 400 inside a fullscreen one.
        with TestDisplay() as display:
            for name, extra in (("window", []), ("fullscreen", ["-fullscreen"])):
                folder = os.path.join(work, name)
                os.mkdir(folder)
                report = os.path.join(folder, "result.json")
                code, out, err = display.run([program, "-nosound", "-vulkan", "-check", "-duration", "3", "-report",
                                              report] + extra, env=environment(display), cwd=folder, timeout=100)
                results = json.load(open(report)) if os.path.exists(report) else {}
                check((results.get("picture") or {}).get("passed") is True, name + ": the results file says it passed")
                check(code == 0, "%s: the picture check passes (exit %s) %s" % (name, code, err.strip()[-300:]))
                check(not [f for f in os.listdir(folder) if f.endswith(".png")], name + ": no PNG written")
                no_validation_messages(out, err)
    elif case == "wine":
        exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
        # With -check: a failed picture check ends with 3.
        script = ('. "%s/../wine/wine_run.sh"; wine_session_start; cd "%s"; '
                  'run_wine "%s" -nosound -vulkan -check -duration 2 -report vk.json >vk.out 2>vk.err || echo "exit $?"'
                  % (here, work, exe))
        code, out, err = run_session(["bash", "-c", script], timeout=540, env=environment())
        print("".join(line + "\n" for line in err.splitlines() if line.startswith("RETRY")), end="")
        check(code is not None and "exit" not in out, "ends by itself with 0 " + out.strip())
        out = open(os.path.join(work, "vk.out"), errors="replace").read()
        err = open(os.path.join(work, "vk.err"), errors="replace").read()
        check("\nVulkan Info:\n - VK_DEVICE_NAME: " in out and "VK_KHR_win32_surface" in out,
              "the Vulkan Info section, with the Win32 surface")
        results = json.load(open(os.path.join(work, "vk.json")))
        check(results["program"]["build"] == "windows-" + windows_arch and results["program"]["backend"] == "Vulkan",
              "results file: the Windows build's Vulkan back-end")
        check(results["frames"]["count"] > 0, "frames presented")
        no_validation_messages(out, err)
    else:
        check(False, "unknown case " + case)
finally:
    if not os.environ.get("VYR_KEEP_WORK"): shutil.rmtree(work, ignore_errors=True)
    else: print("kept", work)

sys.exit(1 if failures else 0)
