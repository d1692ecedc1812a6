#!/usr/bin/env python3
"""The real program's results file (-duration, -report) against its console
report and against what the test learns on its own: the driver's lists as
glxinfo gives them, and the present times a preloaded library stamps.

Usage: results_file_check.py <case> <build bin dir> [windows build dir [x86_64|i686]]
Cases: duration, escape, daemon, notices, stamps, stamps-vulkan, fatal, bad-values, durable, wine; and for
-all and the metrics format: metrics, all-failing, all-crash, all-hang, all-signal, all-wrong-picture, all-wine.
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
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from test_display import DriverFault, TestDisplay, WaitFailed, free_tcp_port, run_session, wait_until  # noqa: E402

case, bin_dir = sys.argv[1], os.path.abspath(sys.argv[2])
windows_dir = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
windows_arch = sys.argv[4] if len(sys.argv) > 4 else "x86_64"
program = os.path.join(bin_dir, "vyrtest")
preload = os.path.join(os.path.dirname(bin_dir), "tests", "preload")
# Faults of a driver in front of the real one (tests/preload/driver_faults.c).
faults_library = os.path.join(bin_dir, "..", "tests", "preload", "driver_faults.so")
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


_display = []


def the_display():
    """The test's one X server, started on first use and ended with the test."""
    if not _display:
        _display.append(TestDisplay().__enter__())
    return _display[0]


def on_display(env=None):
    return dict(env or environment(), DISPLAY=the_display().name)


def timed_out(code, what, timeout):
    if code is None:
        print("%s did not end within %d s" % (what, timeout))
        return -1
    return code


def run(arguments, env=None, timeout=60, display=True, preloaded=None):
    """Runs the program to its end, with a library of tests/preload (not the X
    server), returns (exit code, stdout, stderr); -1 when it did not end in time."""
    inject = ["env", "LD_PRELOAD=" + os.path.join(preload, preloaded + ".so")] if preloaded else []
    command = inject + [program] + arguments
    if display:
        code, out, err = the_display().run(command, timeout=timeout, env=on_display(env))
    else:
        code, out, err = run_session(command, timeout=timeout, env=env or environment())
    return timed_out(code, "the program", timeout), out, err


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
    text = the_display().run(["glxinfo"], timeout=60, env=on_display())[1]
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
    check(abs(summary.get("sum", -1) - sum(times)) <= n * tolerance, "sum = %.3f ms (%s)" % (sum(times), summary.get("sum")))
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
    sim = the_display().start([os.path.join(bin_dir, "vyrd-sim"), "--port-file-dir", portdir, "--answer", answer,
                               "--record", record], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until(lambda: os.listdir(portdir) or sim.poll() is not None, "vyrd-sim's port file", 30)
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


VULKAN_FAILURE = "Cannot create the Vulkan Device. Please check your installation of Vulkan"
SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'([a-zA-Z_]\w*)="((?:[^"\\]|\\.)*)"')


def run_merged(arguments, env=None, timeout=90):
    """A run with stderr and stdout in one stream, so that -all's headers sit between its children's output."""
    code, out, _ = the_display().run([program] + arguments, timeout=timeout, env=on_display(env),
                                     stderr=subprocess.STDOUT)
    return timed_out(code, "the program", timeout), out


def sections(text):
    """-all's output cut at its header lines: {back-end: its child's output}."""
    parts = re.split(r"^==== vyrtest -all: (.+) ====$", text, flags=re.M)
    return dict(zip(parts[1::2], parts[2::2]))


def samples(text):
    """Every sample of a text exposition: {(name, frozenset of labels): value}."""
    found = {}
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        m = SAMPLE.match(line)
        if not m:
            check(False, "a sample line: " + line)
        else:
            labels = frozenset((k, v.replace('\\"', '"').replace("\\n", "\n").replace("\\\\", "\\"))
                               for k, v in LABEL.findall(m.group(2) or ""))
            found[(m.group(1), labels)] = float(m.group(3))
    return found


def metric(found, name, backend, **extra):
    """The one value of `name` for a back-end (and quantile), or None."""
    values = [v for (n, labels), v in found.items() if n == name and ("backend", backend) in labels
              and all((k, w) in labels for k, w in extra.items())]
    check(len(values) <= 1, "%s for %s at most once" % (name, backend))
    return values[0] if values else None


def promtool_accepts(path):
    with open(path) as f:
        done = subprocess.run(["promtool", "check", "metrics"], stdin=f, capture_output=True, text=True)
    check(done.returncode == 0, "promtool accepts %s %s" % (os.path.basename(path), done.stdout + done.stderr))
    text = open(path).read()
    families = re.findall(r"^# TYPE (\S+) ", text, re.M)
    check(len(families) == len(set(families)), "each family's TYPE once")
    return text


def agrees_with_output(found, backend, output, seconds):
    """One back-end's samples against its own console output and the test's arithmetic."""
    name = {"opengl": r"GL_RENDERER", "vulkan": r"VK_DEVICE_NAME"}[backend]
    renderer = re.search(r"^ - %s: (.*)$" % name, output, re.M)
    check(renderer is not None and any(("renderer", renderer.group(1)) in labels for (n, labels) in found
                                       if ("backend", backend) in labels), backend + ": renderer label = console")
    check(metric(found, "vyrtest_renders", backend) == 1, backend + ": renders")
    remote = re.search(r"^VYR (ON|OFF)$", output, re.M)
    check(remote is not None and metric(found, "vyrtest_remote_session", backend) == (remote.group(1) == "ON"),
          backend + ": remote session = VYR line")
    check(metric(found, "vyrtest_software_rasteriser", backend) == ("software rasteriser" in output),
          backend + ": software rasteriser = the notice")
    check(metric(found, "vyrtest_direct_rendering", backend) == (1 if backend == "opengl" else None),
          backend + ": direct rendering only where GLX has it")
    check(metric(found, "vyrtest_picture_check_passed", backend) is None, backend + ": no picture check asked")
    q = [metric(found, "vyrtest_frame_time_seconds", backend, quantile=x) for x in ("0.5", "0.95", "0.99", "1")]
    count = metric(found, "vyrtest_frame_time_seconds_count", backend)
    total = metric(found, "vyrtest_frame_time_seconds_sum", backend)
    check(None not in q and q == sorted(q) and q[0] > 0, backend + ": quantiles in order %s" % q)
    # The intervals between presents span the run; the last frame may end past it.
    check(count and total and seconds - q[3] - 0.25 <= total <= seconds + q[3], backend + ": _sum %s over a %s s run" % (total, seconds))
    mean = metric(found, "vyrtest_frames_per_second_mean", backend)
    # The mean counts every frame over the run, which ends a little after its duration.
    check(mean and count and (count + 1) / (seconds + 2) <= mean <= (count + 1) / (seconds - q[3]) + 0.5,
          backend + ": mean %s fps over %s s against %s frame times" % (mean, seconds, count))
    # Up to 100 frames, the slowest 1 % is the one slowest frame.
    low = metric(found, "vyrtest_one_percent_low_frames_per_second", backend)
    check(count and (count > 100 or (low and abs(low * q[3] - 1) < 1e-6)), backend + ": 1 %% low = 1 / slowest (%s)" % low)


def scrape(directory):
    """/metrics of a node exporter that reads `directory` with its textfile collector alone."""
    port = free_tcp_port()
    exporter = the_display().start(["prometheus-node-exporter", "--web.listen-address=127.0.0.1:%d" % port,
                                 "--collector.disable-defaults", "--collector.textfile",
                                 "--collector.textfile.directory=" + directory],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 60
        while True:
            try:
                with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=10) as answer:
                    return answer.read().decode()
            except OSError:
                if exporter.poll() is not None or time.monotonic() > deadline:
                    check(False, "node exporter answers on port %d" % port)
                    return ""
                time.sleep(0.1)
    finally:
        the_display().end(exporter)


def child_files_gone():
    left = [n for n in os.listdir(work) if re.search(r"\.(opengl|vulkan|direct3d9)\.json$|\.tmp$", n)]
    check(not left, "no child results or temporary files left: %s" % left)


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
        display = the_display()
        process = display.start([program, "-nosound", "-paused", "-report", report], env=on_display(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = wait_until(lambda: (display.x("xdotool", "search", "--onlyvisible", "--name", "(OpenGL)") or "").split()
                            or process.poll() is not None, "the program's window", 60)
        if isinstance(window, list):
            display.x("xdotool", "key", "--window", window[0], "Escape")
        try:
            process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            print("the program did not end within 60 s of Escape")
            display.end(process)
        check(process.returncode == 0, "Escape ends with 0 (%s)" % process.returncode)
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
                                     preloaded="driver_faults" if marker else None)
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
                                 env=environment(**extra), preloaded="driver_faults" if renderer else None)
            what = " ".join(arguments + [renderer or "llvmpipe"]) + ": "
            check(code == 0, what + "ends with 0 (%d)" % code)
            results = load(report)
            if results:
                check(results["asked"]["stereo"] == ("-stereo" in arguments) and not results["granted"]["stereo"],
                      what + "the test display grants no stereo visual")
                print("--- " + what)
                agrees_with_console(results, out, err, software)
    elif case in ("stamps", "stamps-vulkan"):
        # A slow driver spreads the frame times 8 ms apart.
        stamps_file = os.path.join(work, "stamps")
        arguments = ["-nosound", "-ms", "0", "-duration", "5", "-report", report]
        code, out, err = run(arguments + (["-vulkan"] if case == "stamps-vulkan" else []),
                             env=environment(VYR_TEST_STAMPS=stamps_file, VYR_TEST_STALL_MS="8"),
                             preloaded="driver_faults")
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
                                 preloaded="driver_faults")
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
    elif case == "durable":
        # The system calls themselves, seen by strace: the start-up probe and the
        # writer each create a file of their own under a name no one can guess
        # (never following a link), the writer's file reaches the disk before the
        # rename, and the folder after it.
        trace = os.path.join(work, "trace")
        command = ["strace", "-f", "-qq", "-o", trace,
                   "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,close",
                   program, "-nosound", "-duration", "1", "-report", report]
        code = timed_out(the_display().run(command, timeout=60, env=on_display())[0], "strace", 60)
        check(code == 0, "ends with 0 under strace (%d)" % code)
        calls = [re.sub(r"^\d+\s+", "", line) for line in open(trace)]
        temporary = re.escape(report) + r"\.([0-9a-f]{16})\.tmp"
        created = [(i, m) for i, line in enumerate(calls)
                   for m in [re.match(r'openat\(AT_FDCWD, "(%s)", ([A-Z_|]+), 0666\) = (\d+)' % temporary, line)] if m]
        check(len(created) == 2, "two files created beside the target: the probe's and the writer's (%d)" % len(created))
        for _, m in created:
            flags = set(m.group(3).split("|"))
            check({"O_CREAT", "O_EXCL", "O_NOFOLLOW"} <= flags, "created exclusively, no link followed: " + m.group(3))
        if len(created) == 2:
            (probe_at, probe), (write_at, written) = created
            check(probe.group(2) != written.group(2), "the two names differ")
            check(any(c.startswith('unlink("%s")' % probe.group(1)) for c in calls[probe_at:write_at]),
                  "the probe removes its file")
            fd = written.group(4)
            rest = calls[write_at:]
            def first(pattern):
                return next((i for i, c in enumerate(rest) if re.match(pattern, c)), None)
            synced = first(r"fsync\(%s\)\s+= 0" % fd)
            renamed = first(r'rename\("%s", "%s"\) = 0' % (re.escape(written.group(1)), re.escape(report)))
            folder = first(r'openat\(AT_FDCWD, "%s", [A-Z_|]*O_DIRECTORY[A-Z_|]*\) = (\d+)' % re.escape(work))
            check(synced is not None and renamed is not None and synced < renamed, "the file is flushed before the rename")
            folder_fd = folder is not None and re.search(r"= (\d+)$", rest[folder].strip()).group(1)
            check(folder is not None and renamed is not None and folder > renamed and
                  first(r"fsync\(%s\)\s+= 0" % folder_fd) is not None and
                  max(i for i, c in enumerate(rest) if re.match(r"fsync\(%s\)\s+= 0" % folder_fd, c)) > folder,
                  "the folder is flushed after the rename")
        results = load(report)
        check(results.get("end", {}).get("reason") == "duration", "the results file is there")
    elif case == "wine":
        # The Windows build writes the same file, for both back-ends; Ctrl+C
        # (64-bit Wine turns SIGINT to the program's process into CTRL_C_EVENT;
        # 32-bit Wine 8 does not) ends a run as Escape does, with the shell's
        # code for an interrupt.
        # Wine makes its WGL extension list itself, from names it knows: a name added
        # to the GLX list below it never reaches the program, so the marker has no case here.
        exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
        ctrl_c = windows_arch == "x86_64"
        script = ('. "%s/../wine/wine_run.sh"; wine_session_start; cd "%s"; '
                  'for b in opengl directx9; do a=; [ $b = directx9 ] && a=-directx9; '
                  'run_wine "%s" -nosound $a -duration 2 -report $b.json >$b.out 2>$b.err || echo "exit $? $b"; done; '
                  % (here, work, exe))
        if ctrl_c:
            script += ('program_start ctrl-c "(OpenGL)" wine "%s" -nosound -duration 600 -report ctrl-c.json; '
                       'kill -INT "$(xdotool getwindowpid "$window")"; '
                       'ended() { ! kill -0 $program_pid 2>/dev/null; }; test_wait 60 "the end after Ctrl+C" ended || kill $program_pid; '
                       'code=0; wait $program_pid || code=$?; program_pid=; echo "ctrl-c: $code"' % exe)
        code, out, err = run_session(["bash", "-c", script], timeout=540)
        print("".join(line + "\n" for line in err.splitlines() if line.startswith("RETRY")), end="")
        check(code is not None and "exit" not in out, "both back-ends end with 0: " + out.strip())
        for backend, name in (("opengl", "OpenGL"), ("directx9", "Direct3D 9")):
            results = load(os.path.join(work, backend + ".json"))
            if results:
                check(results["program"]["backend"] == name and results["program"]["build"] == "windows-" + windows_arch,
                      backend + ": program")
                check(results["end"]["reason"] == "duration" and results["frames"]["count"] > 0, backend + ": frames")
                check(results["session"]["decided_by"] == "daemon not running", backend + ": session")
        check(not ctrl_c or "ctrl-c: 130" in out, "Ctrl+C ends with 130: " + out.strip())
        results = load(os.path.join(work, "ctrl-c.json")) if ctrl_c else None
        if results:
            check(results["end"] == {"exit_code": 130, "reason": "signal", "signal": "CTRL_C_EVENT", "message": None},
                  "Ctrl+C: end: signal, CTRL_C_EVENT")
            check(results["frames"]["count"] > 0, "Ctrl+C: the frames up to then")
    elif case == "metrics":
        # -all into a textfile collector's folder, read back through node exporter.
        folder = os.path.join(work, "textfile")
        os.makedirs(folder)
        prom = os.path.join(folder, "vyrtest.prom")
        started = time.time()
        code, output = run_merged(["-all", "-nosound", "-duration", "3", "-report", prom])
        ended = time.time()
        check(code == 0, "-all ends with 0 (%d)" % code)
        found = samples(promtool_accepts(prom))
        parts = sections(output)
        check(list(parts) == ["OpenGL", "Vulkan"], "a header for each back-end, in order: %s" % list(parts))
        for backend, name in (("opengl", "OpenGL"), ("vulkan", "Vulkan")):
            agrees_with_output(found, backend, parts.get(name, ""), 3.0)
        times = [metric(found, "vyrtest_run_end_timestamp_seconds", b) for b in ("opengl", "vulkan")]
        check(None not in times and started < times[0] < times[1] < ended, "end times in order within the run")
        served = samples("\n".join(l for l in scrape(folder).splitlines() if l.startswith(("vyrtest_", "node_textfile_scrape_error"))))
        check(served.get(("node_textfile_scrape_error", frozenset())) == 0, "node exporter read the file without error")
        missing = [k for k, v in found.items() if served.get(k) != v]
        check(found and not missing, "node exporter serves every sample with its value (%d; missing %s)"
              % (len(found), missing[:3]))
        # One run without -all: the same format with one sample set.
        single = os.path.join(work, "single.prom")
        code, output = run_merged(["-nosound", "-duration", "2", "-report", single])
        check(code == 0, "a single run ends with 0")
        found = samples(promtool_accepts(single))
        check({dict(labels)["backend"] for (n, labels) in found} == {"opengl"}, "one sample set: OpenGL")
        agrees_with_output(found, "opengl", output, 2.0)
        child_files_gone()
    elif case == "all-failing":
        # No Vulkan driver: OpenGL still runs and is reported; -all ends with 1.
        env = environment(VK_ICD_FILENAMES=os.path.join(work, "none.json"))
        code, output = run_merged(["-all", "-nosound", "-duration", "2", "-report", report], env=env)
        check(code == 1, "exit code 1 (%d)" % code)
        parts = sections(output)
        check(list(parts) == ["OpenGL", "Vulkan"] and " - GL_RENDERER: " in parts["OpenGL"]
              and VULKAN_FAILURE in parts["Vulkan"], "each child's output under its header")
        results = load(report)
        if results:
            check([b["backend"] for b in results["backends"]] == ["OpenGL", "Vulkan"], "an entry per back-end")
            gl, vk = results["backends"]
            check((gl["outcome"], gl["exit_code"], gl["signal"], gl["timed_out"]) == ("renders", 0, None, False)
                  and gl["results"]["program"]["backend"] == "OpenGL" and gl["results"]["frames"]["count"] > 0,
                  "OpenGL renders, with its whole results")
            check((vk["outcome"], vk["exit_code"]) == ("cannot render", 1)
                  and vk["results"]["end"] == {"exit_code": 1, "reason": "fatal", "message": VULKAN_FAILURE},
                  "Vulkan cannot render, with its own results")
            check(results["summary"] == {"exit_code": 1, "renders": ["OpenGL"], "picture_passed": [],
                                         "picture_failed": [], "picture_inconclusive": [],
                                         "failed": [{"backend": "Vulkan", "how": "exit code 1: " + VULKAN_FAILURE}]},
                  "the summary: %s" % results["summary"])
            check(results["asked"] == {"duration_seconds": 2.0, "timeout_seconds": 62.0}, "duration and time-out")
        prom = os.path.join(work, "failing.prom")
        code, output = run_merged(["-all", "-nosound", "-duration", "2", "-report", prom], env=env)
        found = samples(promtool_accepts(prom))
        check(code == 1 and metric(found, "vyrtest_renders", "opengl") == 1
              and found.get(("vyrtest_renders", frozenset({("backend", "vulkan"), ("renderer", "")}))) == 0,
              "metrics: OpenGL renders, Vulkan does not (no renderer known)")
        child_files_gone()
    elif case in ("all-crash", "all-hang"):
        # The OpenGL child dies (or hangs) in its driver's present; Vulkan still runs.
        # A present that never returns is ended by the child's own watchdog (exit 4,
        # "stalled"); a process stopped whole is ended by the parent's time-out.
        kinds = ["SIGSEGV", "SIGABRT"] if case == "all-crash" else ["hang", "stop"]
        faults = {"SIGSEGV": "present-segv", "SIGABRT": "present-abort", "hang": "present-hang", "stop": "present-stop"}
        for kind in kinds:
            # A sanitizer build's own handler would turn the SIGSEGV into an abort.
            asan = ":".join(o for o in (os.environ.get("ASAN_OPTIONS"), "handle_segv=0") if o)
            fault = DriverFault(faults_library, faults[kind], work)
            # The fault comes at the first present, whatever the machine's speed: one
            # that waited for a number of presents raced the run's one second.
            env = environment(DRIVER_FAULT_AFTER="0", ASAN_OPTIONS=asan, **fault.env())
            started = time.monotonic()
            code, output = run_merged(["-all", "-nosound", "-duration", "1", "-report", report], env=env,
                                      timeout=150)
            took = time.monotonic() - started
            if fault.not_taken():
                check(False, "%s: %s" % (kind, fault.not_taken()))
                continue
            check(code == 1, "%s: exit code 1 (%d)" % (kind, code))
            check(list(sections(output)) == ["OpenGL", "Vulkan"], kind + ": both back-ends ran")
            results = load(report)
            if not results:
                continue
            gl, vk = results["backends"]
            if kind == "stop":
                # 1 s of duration and 60 s of margin, then asked to end, then killed.
                check(gl["outcome"] == "timed out" and gl["timed_out"] and gl["exit_code"] is None
                      and 61 <= gl["seconds"] < 61 + 30 and took >= 61, "stop: timed out after %.1f s" % gl["seconds"])
                how = "timed out after"
            elif kind == "hang":
                # 1 s of duration and 10 s of the watchdog's margin, well before the time-out.
                end = (gl["results"] or {}).get("end", {})
                check(gl["outcome"] == "cannot render" and gl["exit_code"] == 4 and end.get("reason") == "stalled"
                      and gl["seconds"] < 61, "hang: the child's watchdog ends it, stalled, exit 4 (%.1f s, %s)"
                      % (gl["seconds"], end))
                how = "exit code 4"
            else:
                check((gl["outcome"], gl["signal"], gl["exit_code"], gl["results"]) == ("signal", kind, None, None),
                      "%s: the signal that ended it, no results of its own (%s)" % (kind, gl["signal"]))
                how = "ended by " + kind
            check(vk["outcome"] == "renders" and vk["results"]["frames"]["count"] > 0, kind + ": Vulkan still renders")
            check(results["summary"]["renders"] == ["Vulkan"] and results["summary"]["failed"][0]["backend"] == "OpenGL"
                  and results["summary"]["failed"][0]["how"].startswith(how), kind + ": the summary names OpenGL (%s)"
                  % results["summary"]["failed"][0]["how"])
        child_files_gone()
    elif case == "all-signal":
        # Ctrl+C in a terminal reaches the program and its child: the child ends
        # its run as Escape does, the parent starts no further back-end and still
        # writes the merged file, and ends with the shell's code for SIGINT.
        output_path = os.path.join(work, "all-signal.out")
        with open(output_path, "w") as output:
            process = the_display().start([program, "-all", "-nosound", "-duration", "120", "-report", report],
                                          stdout=output, stderr=subprocess.STDOUT, env=on_display())
        parent = str(process.pid)

        def first_child():
            """The first back-end's process, once its report is out."""
            if "VYR OFF" not in open(output_path, errors="replace").read():
                return None
            return subprocess.run(["pgrep", "-P", parent], capture_output=True, text=True).stdout.split()[:1]
        try:
            child = wait_until(first_child, "-all's first back-end and its report", 60)[0]
        except WaitFailed as e:
            print(e)
            child = None
        check(child is not None, "-all started its first back-end (%s, %s)" % (parent, child))
        if child:
            os.kill(int(child), signal.SIGINT)
            os.kill(int(parent), signal.SIGINT)
        try:
            process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            print("-all did not end within 60 s of SIGINT")
        text = open(output_path, errors="replace").read()
        check(process.returncode == 130, "-all ends with 130 (%s)" % process.returncode)
        check(list(sections(text)) == ["OpenGL"], "no back-end is started after the signal")
        results = load(report)
        if results:
            backends = results["backends"]
            check(len(backends) == 1 and backends[0]["results"]["end"]["reason"] == "signal"
                  and backends[0]["results"]["end"]["signal"] == "SIGINT",
                  "the merged file holds OpenGL's run, ended by SIGINT")
        child_files_gone()
    elif case == "all-wrong-picture":
        # OpenGL's driver drops the mesh draws: its picture is wrong, Vulkan's is right; -all ends with 3.
        fault = DriverFault(faults_library, "drop-meshes", work)
        env = environment(**fault.env())
        prom = os.path.join(work, "r.prom")
        for path in (report, prom):
            code, output = run_merged(["-all", "-check", "-nosound", "-duration", "2", "-report", path], env=env)
            check(code == 3, "exit code 3 (%d)" % code)
        if fault.not_taken():
            check(False, fault.not_taken())
        results = load(report)
        if results:
            check([(b["backend"], b["outcome"], b["exit_code"]) for b in results["backends"]]
                  == [("OpenGL", "wrong picture", 3), ("Vulkan", "renders", 0)], "OpenGL's picture wrong, Vulkan's right")
            check(results["summary"] == {"exit_code": 3, "renders": ["OpenGL", "Vulkan"], "picture_passed": ["Vulkan"],
                                         "picture_failed": ["OpenGL"], "picture_inconclusive": [], "failed": []},
                  "the summary: %s" % results["summary"])
            images = results["backends"][0]["results"]["picture"]["images"]
            check(images and all(".opengl." in os.path.basename(i) and os.path.exists(i) for i in images),
                  "OpenGL's frames under its own names: %s" % images)
        found = samples(promtool_accepts(prom))
        check((metric(found, "vyrtest_picture_check_passed", "opengl"), metric(found, "vyrtest_picture_check_passed", "vulkan"),
               metric(found, "vyrtest_renders", "opengl")) == (0, 1, 1), "metrics: the check's verdicts, both render")
        child_files_gone()
    elif case == "all-wine":
        # The Windows build's three back-ends, each in a child process, under Wine.
        exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
        script = ('. "%s/../wine/wine_run.sh"; wine_session_start; cd "%s"; '
                  'for f in r.json r.prom; do wine "%s" -all -check -nosound -duration 2 -report $f >$f.out 2>&1 || echo "exit $? $f"; done; '
                  # No Vulkan driver: its child fails at once, without a message box that waits for an answer.
                  'VK_ICD_FILENAMES=$PWD/none.json wine "%s" -all -nosound -duration 2 -report f.json >f.out 2>&1; '
                  'echo "failing $?"'
                  % (here, work, exe, exe))
        code, out, _ = run_session(["bash", "-c", script], timeout=840)
        check(code is not None and "exit" not in out and "failing 1" in out, "two runs end with 0, the failing one with 1: "
              + out.strip())
        names = ["OpenGL", "Direct3D 9", "Vulkan"]
        output = open(os.path.join(work, "r.json.out"), errors="replace").read()
        check(list(sections(output)) == names, "a header for each back-end: %s" % list(sections(output)))
        results = load(os.path.join(work, "r.json"))
        if results:
            check(results["program"]["build"] == "windows-x86_64" and results["program"]["backends"] == names,
                  "the Windows build's three back-ends")
            check([(b["backend"], b["outcome"], b["results"]["program"]["backend"]) for b in results["backends"]]
                  == [(n, "renders", n) for n in names], "each renders, with its own results")
            check(all(b["results"]["frames"]["count"] > 0 for b in results["backends"]), "frames from each")
            check(results["summary"]["picture_passed"] == names, "each passes the picture check")
        found = samples(promtool_accepts(os.path.join(work, "r.prom")))
        check({dict(labels)["backend"] for (n, labels) in found} == {"opengl", "direct3d9", "vulkan"},
              "metrics for the three back-ends")
        check(all(metric(found, "vyrtest_renders", b) == 1 and metric(found, "vyrtest_picture_check_passed", b) == 1
                  for b in ("opengl", "direct3d9", "vulkan")), "each renders and passes the check")
        results = load(os.path.join(work, "f.json"))
        if results:
            check([(b["backend"], b["outcome"]) for b in results["backends"]]
                  == [("OpenGL", "renders"), ("Direct3D 9", "renders"), ("Vulkan", "cannot render")]
                  and results["summary"]["failed"] == [{"backend": "Vulkan", "how": "exit code 1: " + VULKAN_FAILURE}],
                  "no Vulkan driver: the others render, Vulkan's message in the file")
        child_files_gone()
    else:
        check(False, "unknown case " + case)
finally:
    for display in _display:
        display.close()
    shutil.rmtree(work, ignore_errors=True)

sys.exit(1 if failures else 0)
