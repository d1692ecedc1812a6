#!/usr/bin/env python3
"""The real program's results file (-duration, -report) against its console
report and against what the test learns on its own: the driver's lists as
glxinfo gives them, and the present times a preloaded library stamps.

Usage: results_file_check.py <case> <build bin dir> [windows build dir]
Cases: duration, escape, daemon, notices, stamps, stamps-vulkan, fatal, bad-values, wine.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

case, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
windows_dir = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
program = os.path.join(bin_dir, "vyrtest")
preload = os.path.join(os.path.dirname(bin_dir), "tests", "preload")
here = os.path.dirname(os.path.abspath(__file__))
work = tempfile.mkdtemp(prefix="vyr-results.")
failures = []


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


def environment(**extra):
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", LIBGL_ALWAYS_SOFTWARE="1", XDG_DATA_HOME=work)
    env.update(extra)
    return env


XVFB = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"]


def run(arguments, env=None, timeout=120, display=True, preloaded=None):
    """Runs the program to its end, with a library of tests/preload (not the X
    server), returns (exit code, stdout, stderr)."""
    inject = ["env", "LD_PRELOAD=" + os.path.join(preload, preloaded + ".so")] if preloaded else []
    command = (XVFB if display else []) + inject + [program] + arguments
    done = subprocess.run(command, capture_output=True, text=True, timeout=timeout, env=env or environment())
    return done.returncode, done.stdout, done.stderr


def load(path):
    try:
        with open(path) as f:
            return json.load(f)
    except (OSError, ValueError) as e:
        check(False, "results file %s: %s" % (path, e))
        return {}


def extension_list(out, name):
    """The words of a " - <name>: ..." line of the console report."""
    found = re.search(r"^ - %s: (.*)$" % name, out, re.M)
    return found.group(1).split() if found else None


def glxinfo_lists():
    """The GLX and the compatibility profile's OpenGL extensions, as glxinfo finds them."""
    text = subprocess.run(XVFB + ["glxinfo"], capture_output=True, text=True, env=environment(), timeout=120).stdout
    lists = {}
    for heading in ("GLX extensions", "OpenGL extensions"):
        block = re.search(r"^%s:\n((?:    .*\n)*)" % heading, text, re.M)
        lists[heading] = re.findall(r"[A-Za-z0-9_]+", block.group(1)) if block else []
    return lists


NOTICES = {"software": "software rasteriser", "indirect": "the OpenGL context is indirect",
           "stereo": "stereo was asked for but not granted"}


def agrees_with_console(results, out, err, software=True):
    """The file's figures against the console report of the same run, and the
    notices on standard error against what the file says was granted."""
    msaa = re.search(r"^ - Valid MSAA samples: (\d+) \(MSAA is ON\)$", out, re.M)
    check(msaa is not None and results["granted"]["samples"] == int(msaa.group(1)), "granted samples = MSAA line")
    renderer = re.search(r"^ - GL_RENDERER: (.*)$", out, re.M)
    check(renderer is not None and results["driver"]["renderer"] == renderer.group(1), "renderer = GL_RENDERER line")
    remote = re.search(r"^VYR (ON|OFF)$", out, re.M)
    check(remote is not None and results["session"]["remote"] == (remote.group(1) == "ON"), "session = VYR line")
    lines = [(int(f), int(ms), float(fps)) for f, ms, fps in
             re.findall(r"^Produced (\d+) frames in the last (\d+) ms: average FPS ([\d.]+)$", out, re.M)]
    reports = [(r["frames"], r["milliseconds"], round(r["average_fps"], 3)) for r in results["frames"]["reports"]]
    check(reports == lines, "every report line is in the file: %s / %s" % (reports, lines))
    check(results["frames"]["count"] >= sum(l[0] for l in lines), "frame count covers the reports")
    for field, name in (("extensions", "GL_EXTENSIONS"), ("window_system_extensions", "GLX_EXTENSIONS")):
        words = extension_list(out, name)
        check(words is not None and results["driver"][field] == len(words),
              "%s = the %s words the console lists (%s / %s)" % (field, name, results["driver"][field],
                                                                   None if words is None else len(words)))
    driver = results["driver"]
    check(driver["software_rasteriser"] == software, "software rasteriser: %s" % software)
    if software:
        check(renderer is not None and renderer.group(1) in driver["software_reason"], "the renderer named as the reason")
    stereo_refused = results["asked"]["stereo"] and not results["granted"]["stereo"]
    for notice, shown in (("software", software), ("indirect", driver["direct_rendering"] is False),
                          ("stereo", stereo_refused)):
        check(err.count(NOTICES[notice]) == (1 if shown else 0), "the %s notice on stderr: %s" % (notice, shown))


def agrees_with_glxinfo(results, out):
    """The extension counts against the driver's own lists, asked by glxinfo."""
    lists = glxinfo_lists()
    for field, name, heading in (("extensions", "GL_EXTENSIONS", "OpenGL extensions"),
                                 ("window_system_extensions", "GLX_EXTENSIONS", "GLX extensions")):
        words = extension_list(out, name) or []
        check(results["driver"][field] == len(lists[heading]) and sorted(words) == sorted(lists[heading]),
              "%s: %s, glxinfo lists %d, the same names as the console" % (field, results["driver"][field],
                                                                           len(lists[heading])))


def stamped(path):
    """(monotonic ns, real-time ns, the program's next reading of the clock in ns
    or 0) of every present the preloaded library saw."""
    try:
        return [tuple(int(v) for v in line.split()) for line in open(path)]
    except OSError:
        return []


def agrees_with_stamps(results, stamps, written_ns):
    """The file's frame figures recomputed from the present stamps: the count, the
    frame times (nearest rank), the 1 % low and the mean frame rate."""
    frames = results["frames"]
    check(frames["count"] == len(stamps) and len(stamps) >= 3,
          "count = the %d presents stamped (%s)" % (len(stamps), frames["count"]))
    if len(stamps) < 3:
        return
    # The program takes its own time of a present at most `late` ms after the
    # stamp (a few microseconds, unless the scheduler stopped it in between), to
    # the microsecond: each frame time may differ by twice that.
    late = max((reading - monotonic) / 1e6 for monotonic, _, reading in stamps if reading)
    tolerance = 2 * late + 0.002
    print("the program read the clock at most %.3f ms after a present: tolerance %.3f ms" % (late, tolerance))
    times = sorted((b[0] - a[0]) / 1e6 for a, b in zip(stamps, stamps[1:]))
    n = len(times)
    summary = frames["frame_time_ms"] or {}
    check(summary.get("frames") == n, "frame times: %d between the presents (%s)" % (n, summary.get("frames")))
    for p in (50, 95, 99):
        rank = next(r for r in range(1, n + 1) if r * 100 >= p * n)
        # One rank up or down must make a difference the test can see.
        neighbours = [times[r - 1] for r in (rank - 1, rank + 1) if 1 <= r <= n]
        apart = all(abs(v - times[rank - 1]) > 2 * tolerance for v in neighbours)
        check(abs(summary.get("p%d" % p, -1) - times[rank - 1]) <= tolerance,
              "p%d = the stamps' rank %d of %d: %.3f ms (%s)%s" % (p, rank, n, times[rank - 1], summary.get("p%d" % p),
                                                                  "" if apart else "; its neighbours are close"))
    check(abs(summary.get("max", -1) - times[-1]) <= tolerance, "max = %.3f ms" % times[-1])
    slowest = times[-((n + 99) // 100):]
    low = frames["one_percent_low_fps"] or 0
    check(low > 0 and abs(1000.0 * len(slowest) / low - sum(slowest)) <= len(slowest) * tolerance,
          "1 %% low = %.3f fps over the %d slowest (%s)" % (1000.0 * len(slowest) / sum(slowest), len(slowest), low))
    # The seconds run from the first present to the writing of the file, whose
    # time the file system keeps (to its clock tick).
    first, last = stamps[0], stamps[-1]
    seconds = frames["seconds"]
    check((last[0] - first[0]) / 1e9 - (late + 0.002) / 1e3 <= seconds <= (written_ns - first[1]) / 1e9 + 0.02,
          "seconds %.4f: from the first present, past the last (%.4f), until written (%.4f)" %
          (seconds, (last[0] - first[0]) / 1e9, (written_ns - first[1]) / 1e9))
    running = seconds - frames["paused_seconds"]
    mean = frames["mean_fps"] or 0
    check(running > 0 and abs(mean - len(stamps) / running) <= len(stamps) / running * 1e-6,
          "mean = %d presents / %.6f s = %.4f fps (%s)" % (len(stamps), running, len(stamps) / running, mean))


def start_daemon(answer, record):
    """vyrd-sim answering as told, once its port file is there."""
    portdir = os.path.join(work, "Tarsel", "VYR")
    os.makedirs(portdir, exist_ok=True)
    sim = subprocess.Popen([os.path.join(bin_dir, "vyrd-sim"), "--port-file-dir", portdir, "--answer", answer,
                            "--record", record], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(600):
        if os.listdir(portdir) or sim.poll() is not None:
            break
        time.sleep(0.1)
    return sim


# The remote-session decision: the window system's marker decides alone; without
# it, the daemon's answer. Daemon's answer, marker, console, decided by, daemon asked.
MARKER = "WGL_TARSEL_halvex"
SESSION_ROWS = (("1", False, "ON", "daemon answer", True),
                ("0", True, "ON", "marker", False),
                ("1", True, "ON", "marker", False),
                ("0", False, "OFF", "daemon answer", True))

# Which notices a run prints: arguments, disguised renderer (None: llvmpipe as it is), software.
NOTICE_ROWS = ((["-stereo"], None, True),
               (["-stereo"], "Example GPU 9000", False),
               ([], "Example GPU 9000", False))


try:
    report = os.path.join(work, "result.json")
    if case == "duration":
        started = time.monotonic()
        code, out, err = run(["-nosound", "-duration", "6", "-report", report])
        check(code == 0, "ends by itself with 0 (%d)" % code)
        results = load(report)
        if results:
            check(results["end"] == {"exit_code": 0, "reason": "duration", "message": None}, "end: duration")
            frames = results["frames"]
            check(frames["seconds"] >= 6.0 and frames["seconds"] < time.monotonic() - started, "seconds from the first frame")
            times = frames["frame_time_ms"]
            check(times is not None and times["p50"] <= times["p95"] <= times["p99"] <= times["max"], "frame-time percentiles")
            check(len(frames["reports"]) >= 1, "at least one report line in 6 s")
            check(results["program"]["build"].startswith("linux-") and results["program"]["window_system"] == "GLX",
                  "program: build and window system")
            check(results["session"]["decided_by"] == "daemon not running", "no daemon: decided by its absence")
            check(results["driver"]["direct_rendering"] is True, "Mesa's GLX context is direct")
            check("picture" in results and results["picture"] is None, "picture: null without -check")
            agrees_with_console(results, out, err)
            agrees_with_glxinfo(results, out)
        check(not [n for n in os.listdir(work) if n.endswith(".tmp")], "no temporary file left beside it")
    elif case == "escape":
        # Paused from the start: the window shows, Escape ends the run.
        env = environment()
        process = subprocess.Popen(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "sh", "-c",
                                    'xdotool search --sync --onlyvisible --name "(OpenGL)" key Escape & exec "$@"',
                                    "sh", program, "-nosound", "-paused", "-report", report],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        process.communicate(timeout=120)
        check(process.returncode == 0, "Escape ends with 0")
        results = load(report)
        if results:
            check(results["end"]["reason"] == "escape", "end: escape")
            check(results["frames"]["count"] >= 1 and results["frames"]["frame_time_ms"] is None,
                  "a paused run has frames but no frame times")
    elif case == "daemon":
        for answer, marker, console, decided, asked in SESSION_ROWS:
            what = "daemon answers %s%s: " % (answer, ", marker" if marker else "")
            record = os.path.join(work, "asked-%s-%s" % (answer, marker))
            sim = start_daemon(answer, record)
            try:
                extra = {"VYR_TEST_GLX_EXTENSION": MARKER} if marker else {}
                code, out, err = run(["-nosound", "-duration", "1", "-report", report], env=environment(**extra),
                                     preloaded="driver_disguise" if marker else None)
            finally:
                sim.send_signal(signal.SIGTERM)
                sim.wait()
            check(code == 0, what + "ends with 0 (%d)" % code)
            check(("\nVYR %s\n\n" % console) in out, what + "the console says VYR " + console)
            check((MARKER in (extension_list(out, "GLX_EXTENSIONS") or [])) == marker,
                  what + "the GLX list the console prints holds the marker: %s" % marker)
            check((os.path.exists(record) and os.path.getsize(record) > 0) == asked, what + "daemon asked: %s" % asked)
            results = load(report)
            if results:
                check(results["session"] == {"remote": console == "ON", "decided_by": decided},
                      what + "session %s" % results["session"])
    elif case == "notices":
        for arguments, renderer, software in NOTICE_ROWS:
            extra = {"VYR_TEST_GL_RENDERER": renderer} if renderer else {}
            code, out, err = run(["-nosound", "-duration", "1", "-report", report] + arguments,
                                 env=environment(**extra), preloaded="driver_disguise" if renderer else None)
            what = " ".join(arguments + [renderer or "llvmpipe"]) + ": "
            check(code == 0, what + "ends with 0 (%d)" % code)
            results = load(report)
            if results:
                check(results["asked"]["stereo"] == ("-stereo" in arguments) and not results["granted"]["stereo"],
                      what + "Xvfb grants no stereo visual")
                print("--- " + what)
                agrees_with_console(results, out, err, software)
    elif case in ("stamps", "stamps-vulkan"):
        # A slow driver spreads the frame times 8 ms apart.
        stamps_file = os.path.join(work, "stamps")
        arguments = ["-nosound", "-ms", "0", "-duration", "5", "-report", report]
        code, out, err = run(arguments + (["-vulkan"] if case == "stamps-vulkan" else []),
                             env=environment(VYR_TEST_STAMPS=stamps_file, VYR_TEST_STALL_MS="8"),
                             preloaded="present_stamps")
        check(code == 0, "ends by itself with 0 (%d)" % code)
        results = load(report)
        if results:
            agrees_with_stamps(results, stamped(stamps_file), os.stat(report).st_mtime_ns)
    elif case == "fatal":
        code, out, err = run(["-directx9", "-report", report])
        check(code == 1, "-directx9 on Linux fails with 1")
        results = load(report)
        if results:
            check(results["end"] == {"exit_code": 1, "reason": "fatal", "message":
                                     "Cannot create the DirectX9 Device. Please check your installation of DirectX9"},
                  "end: fatal with the message")
            check(results["program"]["backend"] == "Direct3D 9", "program: the back-end asked for")
        # What a driver's version string makes of start-up: the exit code, the
        # message of the end (None: it runs), and the GLEW lines on stderr.
        glew = "Problem with GLEW Initialisation:\nError: Missing GL version\n"
        for version, exit_code, message, glew_lines in (
                ("1.4.0 Mesa", 1, "The current OpenGL version is too old to run the application.", ""),
                ("1.5.0 Mesa", 0, None, ""),
                ("", 1, "Cannot create the OpenGL Context. Please check your installation of OpenGL", glew)):
            what = "GL_VERSION \"%s\": " % version
            code, out, err = run(["-nosound", "-duration", "1", "-report", report], env=environment(VYR_TEST_GL_VERSION=version),
                                 preloaded="driver_disguise")
            check(code == exit_code, what + "exit code %d (%d)" % (exit_code, code))
            check(err.startswith(glew_lines) and (message is None or err.endswith(message + "\n")) and
                  (glew_lines or "GLEW" not in err), what + "stderr: %r" % err)
            results = load(report)
            if results:
                check(results["end"]["message"] == message, what + "end message %r" % results["end"]["message"])
                check((results["frames"] or {}).get("count", 0) > 0 or message, what + "frames drawn when it runs")
    elif case == "bad-values":
        os.makedirs(os.path.join(work, "folder"))
        for arguments, message in (
                (["-duration"], "-duration needs a positive number of seconds"),
                (["-duration", "0"], "-duration needs a positive number of seconds"),
                (["-duration", "ten"], "-duration needs a positive number of seconds"),
                (["-report"], "-report needs the name of the results file"),
                (["-scenetime", "-1"], "-scenetime needs a number of seconds from 0 to 86400"),
                (["-scenetime", "ten"], "-scenetime needs a number of seconds from 0 to 86400"),
                (["-scenetime", "86401"], "-scenetime needs a number of seconds from 0 to 86400"),
                (["-screenshot"], "-screenshot needs the name of a PNG file"),
                (["-report", os.path.join(work, "missing", "r.json")], "No such file or directory"),
                (["-report", os.path.join(work, "folder")], "it is a folder")):
            # No display at all: a program that got as far as its window would fail differently.
            env = environment()
            env.pop("DISPLAY", None)
            code, out, err = run(arguments, env=env, display=False)
            check(code == 1 and message in err, "%s: exit 1 and '%s' (%d, %r)" % (" ".join(arguments), message, code, err))
    elif case == "wine":
        # The Windows build writes the same file, for both back-ends. Wine makes
        # its WGL extension list itself, from names it knows: a name added to the
        # GLX list below it never reaches the program, so the marker has no case here.
        exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
        script = ('. "%s/../wine/wine_run.sh"; wine_session_start; cd "%s"; '
                  'for b in opengl directx9; do a=; [ $b = directx9 ] && a=-directx9; '
                  'wine "%s" -nosound $a -duration 2 -report $b.json >$b.out 2>$b.err || echo "exit $? $b"; done'
                  % (here, work, exe))
        done = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=600)
        check("exit" not in done.stdout, "both back-ends end with 0: " + done.stdout.strip())
        for backend, name in (("opengl", "OpenGL"), ("directx9", "Direct3D 9")):
            results = load(os.path.join(work, backend + ".json"))
            if results:
                check(results["program"]["backend"] == name and results["program"]["build"] == "windows-x86_64",
                      backend + ": program")
                check(results["end"]["reason"] == "duration" and results["frames"]["count"] > 0, backend + ": frames")
                check(results["session"]["decided_by"] == "daemon not running", backend + ": session")
    else:
        check(False, "unknown case " + case)
finally:
    shutil.rmtree(work, ignore_errors=True)

sys.exit(1 if failures else 0)
