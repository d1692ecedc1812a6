#!/usr/bin/env python3
"""OpenGL through EGL in the program's own Wayland window on weston's headless
output, table-driven over -ms: the multisampling line, the EGL heading and its
extension list, and the results file's driver figures, each held to what
eglinfo says of the same compositor's configurations and extensions.

Usage: egl_report_check.py <native bin dir>
"""
import json
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from wayland_desktop import WaylandDesktop  # noqa: E402

program = os.path.join(os.path.abspath(sys.argv[1]), "vyrtest")
work = tempfile.mkdtemp(prefix="vyr-egl.")
failures = []

# -ms and whether multisampling is asked at all: 0 asks for none.
REQUESTS = ["0", "1", "2", "4", "16", "2147483648"]


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what, flush=True)
    if not ok:
        failures.append(what)


def wayland_section(text):
    """eglinfo's part on the Wayland platform."""
    start = text.find("Wayland platform:")
    end = text.find(" platform:", start + len("Wayland platform:"))
    return text[start:end if end > 0 else len(text)] if start >= 0 else ""


def extensions(section):
    """The Wayland display's EGL extensions, as eglinfo wraps them over lines."""
    found = re.search(r"EGL extensions string:\n((?:    .*\n)+)", section)
    return found.group(1).split() if found else []


def sample_counts(section):
    """Samples of each configuration the program may take: a window's, for
    desktop OpenGL, RGBA8 with 8 bits of alpha and 16 or more of depth."""
    lines = section.splitlines()
    header = next((line for line in lines if " gl " in line and "surfaces" in line), "")
    gl_column = header.find(" gl ") + 1
    counts = []
    row = re.compile(r"^0x[0-9a-f]+\s+\d+\s+-?\d+\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+\d+\s+(\d+)\s")
    for line in lines:
        m = row.match(line)
        if not m or gl_column < 1 or line[gl_column:gl_column + 1] != "y" or "win" not in line[gl_column:]:
            continue
        r, g, b, a, depth, samples = (int(v) for v in m.groups())
        if (r, g, b, a) == (8, 8, 8, 8) and depth >= 16:
            counts.append(samples)
    return counts


def expected_samples(request, counts):
    """The most samples not above the request's largest power of two."""
    limit = 1
    while limit <= min(int(request), 0x40000000) // 2:
        limit *= 2
    return max([n for n in counts if n <= limit] or [0])


with WaylandDesktop("weston") as desktop:
    env = desktop.env()
    # eglinfo's exit code tells of every platform it tried, not only Wayland.
    section = wayland_section(desktop.run(["eglinfo"], env=env)[1] or "")
    listed, counts = extensions(section), sample_counts(section)
    check(bool(listed and counts), "eglinfo describes the Wayland display (%d extensions, samples %s)"
          % (len(listed), sorted(set(counts))))
    for request in REQUESTS:
        report = os.path.join(work, "ms%s.json" % request)
        code, out, err = desktop.run([program, "-wayland", "-nosound", "-ms", request, "-duration", "1",
                                      "-report", report], env=env, timeout=120)
        lines = (out or "").splitlines()
        granted = expected_samples(request, counts)
        if request == "0":
            line = " - MSAA is OFF"
        elif granted:
            line = " - Valid MSAA samples: %d (MSAA is ON)" % granted
        else:
            line = " - No valid MSAA samples were found (MSAA is OFF)"
        shown = code == 0 and line in lines
        check(shown, "-ms %s: %r (exit %s)%s" % (request, line, code, "" if shown else "\n" + (err or "")[-600:]))
        heading = lines.index("EGL Info:") if "EGL Info:" in lines else -1
        told = lines[heading + 1] if 0 <= heading < len(lines) - 1 else ""
        check(told.startswith(" - EGL_EXTENSIONS: ") and told.split()[2:] == listed,
              "-ms %s: the EGL heading lists eglinfo's extensions: %r" % (request, told[:120]))
        try:
            with open(report) as f:
                results = json.load(f)
        except (OSError, ValueError):
            results = {}
        driver, asked = results.get("driver", {}), results.get("granted", {})
        check(driver.get("window_system") == "EGL" and driver.get("window_system_extensions") == len(listed)
              and driver.get("direct_rendering") is None and asked.get("samples") == (granted if request != "0" else 0)
              and asked.get("stereo") is False,
              "-ms %s: the results file's driver and grant: %s" % (request, {**driver, **asked}))

print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
