#!/usr/bin/env python3
"""The results file's screen section against the test's own stamps: which frames
reached the screen and how late, with faults put in the driver's present.

The preloaded fault library (tests/preload/driver_faults.c) stamps every present
the driver carries out, when it was called and when it returned
(tests/preload/present_stamps.c); a present a fault skips is never stamped. The
frames the stamps count are the frames the window got; the time the driver held
each one is the floor of its delay to the screen.

Usage: screen_frames_check.py <case> <build bin dir> [windows build dir]
Cases: opengl, vulkan, every-other, late, late-vulkan, vnc, vnc-vulkan, no-damage, all, wine.
"""
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from test_display import DriverFault, TestDisplay  # noqa: E402

case, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
windows_dir = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
program = os.path.join(bin_dir, "vyrtest")
preload = os.path.join(os.path.dirname(bin_dir), "tests", "preload")
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="vyr-screen.")
failures = []
DAMAGE = "X DAMAGE on the root window"

# case: (arguments, display, DRIVER_FAULT, what the figures must show)
CASES = {
    "opengl": ([], "xvfb", None, "all"),
    "vulkan": (["-vulkan"], "xvfb", None, "all"),
    # Vulkan has no case: a skipped vkQueuePresentKHR keeps its image, and the swap chain runs dry.
    "every-other": ([], "xvfb", "present-every-other", "half"),
    "late": ([], "xvfb", "present-late", "late"),
    "late-vulkan": (["-vulkan"], "xvfb", "present-late", "late"),
    "vnc": ([], "vnc", None, "all"),
    "vnc-vulkan": (["-vulkan"], "vnc", None, "all"),
    "no-damage": ([], "no-damage", None, "none"),
}


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


def display_for(kind):
    return TestDisplay(vnc=kind == "vnc", server_args=["-extension", "DAMAGE"] if kind == "no-damage" else [])


def lines(path):
    try:
        return [[int(v) for v in line.split()] for line in open(path)]
    except OSError:
        return []


def run_case(arguments, kind, fault, expect):
    report, stamps, calls = (os.path.join(work, n) for n in ("r.json", "stamps", "calls"))
    with display_for(kind) as display:
        injected = DriverFault(os.path.join(preload, "driver_faults.so"), fault or "", work)
        env = display.env(VYR_TEST_STAMPS=stamps, VYR_TEST_CALL_STAMPS=calls, **injected.env())
        code, _, err = display.run([program, "-nosound", "-duration", "5", "-report", report] + arguments, env=env)
    check(code == 0, "ends with 0 (%s) %s" % (code, err[-300:] if code else ""))
    if fault and injected.not_taken():
        check(False, injected.not_taken())
        return
    try:
        results = json.load(open(report))
    except (OSError, ValueError) as e:
        check(False, "results file: %s" % e)
        return
    screen, frames = results["screen"], results["frames"]
    print("screen: %s; frames presented %d" % (json.dumps(screen), frames["count"]))
    if expect == "none":
        check(screen == {"frames": None, "ratio": None, "delay_ms": None, "longest_gap_ms": None,
                         "measured_by": "not measured: the X server has no DAMAGE extension"},
              "no DAMAGE: null figures and the reason")
        return
    check(screen["measured_by"] == DAMAGE, "measured by " + DAMAGE)
    returned, called = [l[0] for l in lines(stamps)], [l[0] for l in lines(calls)]
    check(len(returned) == len(called) > 10, "a call and a return stamped for each present (%d, %d)"
          % (len(called), len(returned)))
    held = statistics.median((r - c) / 1e6 for r, c in zip(returned, called)) if returned else 0
    delay = screen["delay_ms"] or {}
    print("the driver held a frame %.1f ms (median); the screen showed it %.1f ms after the handover"
          % (held, delay.get("p50", -1)))
    # Frames presented before the window was first shown are not watched: a few at most.
    shown, presented = len(returned), frames["count"]
    check(screen["frames"] is not None and shown - 3 <= screen["frames"] <= shown,
          "frames on the screen %s: the %d presents the driver carried out, less a few at most" % (screen["frames"], shown))
    ratio = screen["ratio"] or 0
    check(delay and delay["p50"] <= delay["p95"] <= delay["p99"] <= delay["max"], "delay percentiles in order")
    if expect == "half":
        check(0.4 <= ratio <= 0.6 and abs(ratio - shown / presented) <= 0.05,
              "ratio %.3f: near 0.5 and the stamps' %d of %d" % (ratio, shown, presented))
        # Each skipped frame leaves the screen unchanged for two frame times.
        # Between two frames the window got lies a skipped one: no shorter gap.
        apart = statistics.median((b - a) / 1e6 for a, b in zip(returned, returned[1:]))
        check(screen["longest_gap_ms"] >= 0.9 * apart, "longest gap %.1f ms: at least the %.1f ms between shown frames"
              % (screen["longest_gap_ms"], apart))
    else:
        check(ratio >= 0.95, "ratio %.3f of %d presented reached the screen" % (ratio, presented))
    if expect == "late":
        check(delay.get("p50", 0) >= held + 35, "p50 delay %.1f ms: the 40 ms wait on top of the %.1f ms in the driver"
              % (delay.get("p50", 0), held))
    else:
        check(0 < delay.get("p50", 0) <= held + 20, "p50 delay %.1f ms: within 20 ms after the %.1f ms in the driver"
              % (delay.get("p50", 0), held))


def run_all():
    """-all's metrics carry the screen's figures for each back-end."""
    prom = os.path.join(work, "all.prom")
    with TestDisplay() as display:
        code, _, err = display.run([program, "-all", "-nosound", "-duration", "3", "-report", prom], timeout=300)
    check(code == 0, "-all ends with 0 (%s)" % code)
    with open(prom) as f:
        done = subprocess.run(["promtool", "check", "metrics"], stdin=f, capture_output=True, text=True)
    check(done.returncode == 0, "promtool accepts the metrics " + done.stdout + done.stderr)
    text = open(prom).read()
    for backend in ("opengl", "vulkan"):
        def value(name, quantile=None):
            label = 'backend="%s"' % backend
            found = [float(m.group(2)) for m in re.finditer(r"^%s\{([^}]*)\} (\S+)$" % name, text, re.M)
                     if label in m.group(1) and (quantile is None or 'quantile="%s"' % quantile in m.group(1))]
            return found[0] if len(found) == 1 else None
        ratio = value("vyrtest_screen_frames_ratio")
        q = [value("vyrtest_screen_delay_seconds", x) for x in ("0.5", "0.95", "0.99")]
        count = value("vyrtest_screen_delay_seconds_count")
        check(ratio is not None and ratio >= 0.95, "%s: screen ratio %s" % (backend, ratio))
        check(None not in q and q == sorted(q) and count and count > 10, "%s: delay quantiles %s over %s" % (backend, q, count))


def run_wine():
    """The Windows build asks DXGI for desktop duplication; Wine does not offer it
    (DuplicateOutput is not implemented): null figures, with the call that failed."""
    exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
    script = ('. "%s/../wine/wine_run.sh"; wine_session_start; cd "%s"; '
              'run_wine "%s" -nosound -duration 2 -report w.json >w.out 2>w.err || echo "exit $?"' % (here, work, exe))
    done = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=600)
    check("exit" not in done.stdout, "ends with 0: " + done.stdout.strip())
    try:
        screen = json.load(open(os.path.join(work, "w.json")))["screen"]
    except (OSError, ValueError, KeyError) as e:
        check(False, "results file: %s" % e)
        return
    check({k: v for k, v in screen.items() if k != "measured_by"} ==
          {"frames": None, "ratio": None, "delay_ms": None, "longest_gap_ms": None}
          and screen["measured_by"].startswith("not measured: ") and "desktop duplication" in screen["measured_by"]
          and "DuplicateOutput gave 0x80004001" in screen["measured_by"],
          "null figures, with why: %s" % screen["measured_by"])


try:
    if case in CASES:
        run_case(*CASES[case])
    elif case == "all":
        run_all()
    elif case == "wine":
        run_wine()
    else:
        check(False, "unknown case " + case)
finally:
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)
