#!/usr/bin/env python3
"""The real program's results file (-duration, -report) against its console report.

Usage: results_file_check.py <case> <build bin dir> [windows build dir [x86_64|i686]]
Cases: duration, escape, daemon, fatal, bad-values, durable, wine.
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
windows_arch = sys.argv[4] if len(sys.argv) > 4 else "x86_64"
program = os.path.join(bin_dir, "vyrtest")
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


def run(arguments, env=None, timeout=120, display=True):
    """Runs the program to its end; returns (exit code, stdout, stderr)."""
    command = ([ "xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"] if display else []) + [program] + arguments
    done = subprocess.run(command, capture_output=True, text=True, timeout=timeout, env=env or environment())
    return done.returncode, done.stdout, done.stderr


def load(path):
    try:
        with open(path) as f:
            return json.load(f)
    except (OSError, ValueError) as e:
        check(False, "results file %s: %s" % (path, e))
        return {}


def agrees_with_console(results, out, err):
    """The file's figures against the console report of the same run."""
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
    software = results["driver"]["software_rasteriser"]
    check(software and renderer is not None and renderer.group(1) in results["driver"]["software_reason"],
          "llvmpipe is a software rasteriser, named as the reason")
    check(("software rasteriser" in err) == software, "the notice on stderr")


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
            agrees_with_console(results, out, err)
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
        portdir = os.path.join(work, "Tarsel", "VYR")
        os.makedirs(portdir)
        sim = subprocess.Popen([os.path.join(bin_dir, "vyrd-sim"), "--port-file-dir", portdir, "--answer", "1"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for _ in range(600):
                if os.listdir(portdir):
                    break
                time.sleep(0.1)
            code, out, err = run(["-nosound", "-duration", "1", "-report", report])
        finally:
            sim.send_signal(signal.SIGTERM)
            sim.wait()
        results = load(report)
        check("\nVYR ON\n" in out, "the console says VYR ON")
        if results:
            check(results["session"] == {"remote": True, "decided_by": "daemon answer"}, "session: remote by daemon")
    elif case == "fatal":
        code, out, err = run(["-directx9", "-report", report])
        check(code == 1, "-directx9 on Linux fails with 1")
        results = load(report)
        if results:
            check(results["end"] == {"exit_code": 1, "reason": "fatal", "message":
                                     "Cannot create the DirectX9 Device. Please check your installation of DirectX9"},
                  "end: fatal with the message")
            check(results["program"]["backend"] == "Direct3D 9", "program: the back-end asked for")
    elif case == "bad-values":
        os.makedirs(os.path.join(work, "folder"))
        for arguments, message in (
                (["-duration"], "-duration needs a positive number of seconds"),
                (["-duration", "0"], "-duration needs a positive number of seconds"),
                (["-duration", "ten"], "-duration needs a positive number of seconds"),
                (["-report"], "-report needs the name of the results file"),
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
        command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "strace", "-f", "-qq", "-o", trace,
                   "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,close",
                   program, "-nosound", "-duration", "1", "-report", report]
        done = subprocess.run(command, capture_output=True, text=True, timeout=300, env=environment())
        check(done.returncode == 0, "ends with 0 under strace (%d)" % done.returncode)
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
        exe = os.path.join(windows_dir, "bin", "vyrtest.exe")
        ctrl_c = windows_arch == "x86_64"
        script = ('. "%s/../wine/wine_run.sh"; wine_session_start; cd "%s"; '
                  'for b in opengl directx9; do a=; [ $b = directx9 ] && a=-directx9; '
                  'run_wine "%s" -nosound $a -duration 2 -report $b.json >$b.out 2>$b.err || echo "exit $? $b"; done; '
                  % (here, work, exe))
        if ctrl_c:
            script += ('program_start ctrl-c "(OpenGL)" wine "%s" -nosound -duration 600 -report ctrl-c.json; '
                       'kill -INT "$(xdotool getwindowpid "$window")"; '
                       'ended() { ! kill -0 $program_pid 2>/dev/null; }; wait_for 120 ended || kill $program_pid; '
                       'code=0; wait $program_pid || code=$?; program_pid=; echo "ctrl-c: $code"' % exe)
        done = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=600)
        print("".join(line + "\n" for line in done.stderr.splitlines() if line.startswith("RETRY")), end="")
        check("exit" not in done.stdout, "both back-ends end with 0: " + done.stdout.strip())
        for backend, name in (("opengl", "OpenGL"), ("directx9", "Direct3D 9")):
            results = load(os.path.join(work, backend + ".json"))
            if results:
                check(results["program"]["backend"] == name and results["program"]["build"] == "windows-" + windows_arch,
                      backend + ": program")
                check(results["end"]["reason"] == "duration" and results["frames"]["count"] > 0, backend + ": frames")
                check(results["session"]["decided_by"] == "daemon not running", backend + ": session")
        check(not ctrl_c or "ctrl-c: 130" in done.stdout, "Ctrl+C ends with 130: " + done.stdout.strip())
        results = load(os.path.join(work, "ctrl-c.json")) if ctrl_c else None
        if results:
            check(results["end"] == {"exit_code": 130, "reason": "signal", "signal": "CTRL_C_EVENT", "message": None},
                  "Ctrl+C: end: signal, CTRL_C_EVENT")
            check(results["frames"]["count"] > 0, "Ctrl+C: the frames up to then")
    else:
        check(False, "unknown case " + case)
finally:
    shutil.rmtree(work, ignore_errors=True)

sys.exit(1 if failures else 0)
