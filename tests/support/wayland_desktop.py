"""A Wayland desktop of a test's own, with Xwayland for the program, from the
same helper as the X servers (tests/support/test_display.py):

    with WaylandDesktop("sway") as d:
        p = d.start([program, "-check"], env=d.env())  # DISPLAY is Xwayland's
"""
import json
import os
import pwd
import re
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from test_display import TestDisplay, WaitFailed, _own_session, free_tcp_port, start_session_bus, wait_until

SCREENCAST = "org.gnome.Mutter.ScreenCast"


class WaylandDesktop(TestDisplay):
    """A Wayland desktop of the test's own, with Xwayland for X programs:

        with WaylandDesktop("sway") as d:
            p = d.start([program, "-check"], env=d.env())  # DISPLAY is Xwayland's

    kind "weston": weston with its headless output; "weston-rdp": weston's RDP
    server on a loopback port of its own (TLS with a certificate made here), its
    screen seen by xfreerdp on an Xvfb of the desktop's own (`viewer`, the
    viewer's window `viewer_window`); "sway": sway with wlroots' headless output,
    run as the unprivileged user USER (sway refuses root), with `config` lines
    added to its configuration, or with `nested` its output a window on a headless
    weston of the same user's (the headless output tells no presentation times,
    a nested one passes on its parent's, so sway answers presentation feedback); "mutter": GNOME's compositor, headless with one
    virtual monitor, beside PipeWire and WirePlumber (none when `pipewire` is
    false) on the display's session bus, its screen read through its ScreenCast
    D-Bus API (`screencast_capture`). Each picks its own Wayland socket and X display.
    Every process the desktop starts carries its mark in the environment and is
    ended with it, with whatever it left running (sway starts `exec` lines in
    sessions of their own).
    """

    USER = "vyr-desktop"  # tools/setup.sh creates it
    KINDS = ("weston", "weston-rdp", "sway", "mutter")

    def __init__(self, kind="weston", screen="1280x1024", timeout=30, config=(), pipewire=True, nested=False):
        if kind not in self.KINDS:
            raise ValueError("no Wayland desktop %r" % kind)
        super().__init__(screen=screen + "x24", timeout=timeout)
        self.kind = kind
        self.config = list(config)
        self.runtime = None  # XDG_RUNTIME_DIR, where the Wayland socket is
        self.wayland = None  # WAYLAND_DISPLAY
        self.swaysock = None
        self.xauthority = None  # mutter's Xwayland lets in only who holds its cookie
        self.pipewire = pipewire
        self.nested = nested
        self.rdp_port = None
        self.viewer = None
        self.viewer_window = None
        self.mark = "VYR_WAYLAND_DESKTOP=" + self.work

    def __enter__(self):
        try:
            # Xwayland's sockets go where X servers put theirs; none may have yet.
            os.makedirs("/tmp/.X11-unix", exist_ok=True)
            os.chmod("/tmp/.X11-unix", 0o1777)
            self.bus = start_session_bus(self, self.work, self.timeout)
            if self.kind == "sway":
                self._start_sway()
            elif self.kind == "mutter":
                self._start_mutter()
            else:
                self._start_weston()
            # Ready once Xwayland answers and the compositor's X window manager names itself.
            wait_until(lambda: "window id" in (self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                                      timeout=self.timeout) or ""),
                       "Xwayland's window manager on %s (%s)" % (self.name, self.kind), self.timeout)
            if self.kind == "weston-rdp":
                self._connect_viewer()
            if self.kind == "mutter":
                wait_until(lambda: self.run(["gdbus", "introspect", "--session", "--dest", SCREENCAST,
                                             "--object-path", "/org/gnome/Mutter/ScreenCast"],
                                            timeout=self.timeout)[0] == 0,
                           "mutter's ScreenCast on the session bus", self.timeout, 0.2)
        except BaseException:
            self.close()
            raise
        return self

    def env(self, **extra):
        """The environment of a program on this desktop: TestDisplay's, with the Wayland socket."""
        key, value = self.mark.split("=", 1)
        own = {"WAYLAND_DISPLAY": self.wayland, "XDG_RUNTIME_DIR": self.runtime, "SWAYSOCK": self.swaysock,
               "XAUTHORITY": self.xauthority, key: value}
        env = super().env(**dict(own, **extra))
        return {name: value for name, value in env.items() if value is not None}

    def _compositor(self, argv, env, log="compositor", **popen):
        """The compositor (or a service beside it) in a session of its own, its output in <log>.log."""
        env = dict(env)
        key, value = self.mark.split("=", 1)
        env[key] = value
        log = open(os.path.join(self.work, log + ".log"), "w")
        process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                   preexec_fn=_own_session, **popen)
        self.processes.append(process)
        return process

    def _running(self, process, what):
        if process.poll() is not None:
            raise WaitFailed("%s ended with %s: %s" % (what, process.returncode, self.log("compositor")))
        return False

    def _start_weston(self):
        self.runtime = os.path.join(self.work, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.wayland = "wayland-" + os.path.basename(self.work)
        width, height = self.screen.split("x")[:2]
        argv = ["weston", "--xwayland", "--socket=" + self.wayland, "--width=" + width, "--height=" + height]
        if self.kind == "weston":
            argv += ["--backend=headless-backend.so", "--use-pixman"]
        else:
            cert, key = os.path.join(self.work, "rdp.crt"), os.path.join(self.work, "rdp.key")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                            "/CN=127.0.0.1", "-keyout", key, "-out", cert], check=True, capture_output=True,
                           timeout=self.timeout)
            self.rdp_port = free_tcp_port()
            argv += ["--backend=rdp-backend.so", "--address=127.0.0.1", "--port=%d" % self.rdp_port,
                     "--rdp-tls-cert=" + cert, "--rdp-tls-key=" + key]
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, DBUS_SESSION_BUS_ADDRESS=self.bus)
        for name in ("WAYLAND_DISPLAY", "DISPLAY", "WAYLAND_SOCKET"):
            env.pop(name, None)
        weston = self._compositor(argv, env)
        # Xwayland starts when its first client comes; weston tells the display it listens on.
        pattern = re.compile(r"xserver listening on display (:\d+)")
        log = os.path.join(self.work, "compositor.log")
        found = wait_until(lambda: pattern.search(open(log).read()) or self._running(weston, "weston"),
                           "weston's X display", self.timeout)
        self.name = found.group(1)

    def _start_sway(self):
        user = pwd.getpwnam(self.USER)
        # Its own XDG_RUNTIME_DIR, as a login would give it: the user's, mode 0700.
        self.runtime = tempfile.mkdtemp(prefix="vyr-sway.")
        os.chown(self.runtime, user.pw_uid, user.pw_gid)
        names = os.path.join(self.runtime, "names")
        config = os.path.join(self.runtime, "config")
        width, height = self.screen.split("x")[:2]
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.runtime, "XDG_RUNTIME_DIR": self.runtime,
               "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1",
               # The display's bus is root's; nothing of sway's may autolaunch one of its own.
               "DBUS_SESSION_BUS_ADDRESS": "disabled:"}
        if "VYR_TEST_RUN" in os.environ:
            env["VYR_TEST_RUN"] = os.environ["VYR_TEST_RUN"]
        as_user = {"user": user.pw_uid, "group": user.pw_gid, "extra_groups": []}
        output = "HEADLESS-1"
        if self.nested:
            parent = self._compositor(["weston", "--backend=headless-backend.so", "--use-pixman", "--socket=parent",
                                       "--width=" + width, "--height=" + height], env, log="parent", **as_user)
            wait_until(lambda: os.path.exists(os.path.join(self.runtime, "parent")) or self._running(parent, "weston"),
                       "the parent weston's socket", self.timeout)
            env.update(WLR_BACKENDS="wayland", WAYLAND_DISPLAY="parent")
            output = "WL-1"
        with open(config, "w") as f:
            f.write("\n".join([
                "output %s mode %sx%s" % (output, width, height),
                "xwayland enable",
                # The tests' programs run as root: Xwayland lets root's clients in, and
                # then what they need to find the desktop is written, whole.
                "exec sh -c 'xhost +si:localuser:root && "
                "printf \"%%s\\n\" \"$WAYLAND_DISPLAY\" \"$DISPLAY\" \"$SWAYSOCK\" >%s.new && mv %s.new %s'"
                % (names, names, names),
            ] + self.config) + "\n")
        os.chown(config, user.pw_uid, user.pw_gid)
        sway = self._compositor(["sway", "-c", config], env, **as_user)

        def told():
            return self._names_told(sway, "sway", names)

        self.wayland, self.name, self.swaysock = wait_until(told, "sway's names", self.timeout)[:3]

    def _start_mutter(self):
        self.runtime = os.path.join(self.work, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.wayland = "wayland-" + os.path.basename(self.work)
        names = os.path.join(self.runtime, "names")
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, DBUS_SESSION_BUS_ADDRESS=self.bus,
                   # Settings in memory, state in the work folder: nothing written to the user's.
                   GSETTINGS_BACKEND="memory", XDG_STATE_HOME=self.work, XDG_CONFIG_HOME=self.work)
        for name in ("WAYLAND_DISPLAY", "DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY"):
            env.pop(name, None)
        if self.pipewire:
            pipewire = self._compositor(["pipewire"], env, log="pipewire")
            wait_until(lambda: os.path.exists(os.path.join(self.runtime, "pipewire-0"))
                       or self._running(pipewire, "pipewire"), "PipeWire's socket", self.timeout)
            self._compositor(["wireplumber"], env, log="wireplumber")
            # Ready once it is PipeWire's client: streams made before would find no session manager.
            wait_until(lambda: "WirePlumber" in (self.run(["pw-cli", "ls", "Client"], env=env, timeout=self.timeout)[1]
                                                 or ""), "WirePlumber in PipeWire", self.timeout, 0.2)
        width, height = self.screen.split("x")[:2]
        # Mutter runs the command with Xwayland's DISPLAY and XAUTHORITY set; it writes them, whole, and stays
        # (mutter ends when its command does).
        tell = ('printf "%%s\\n" "$WAYLAND_DISPLAY" "$DISPLAY" "$XAUTHORITY" >%s.new && mv %s.new %s '
                '&& exec sleep infinity' % (names, names, names))
        mutter = self._compositor(["mutter", "--headless", "--wayland", "--virtual-monitor", "%sx%s" % (width, height),
                                   "--wayland-display=" + self.wayland, "--", "sh", "-c", tell], env)

        def told():
            return self._names_told(mutter, "mutter", names)

        _, self.name, self.xauthority = wait_until(told, "mutter's names", self.timeout)[:3]

    def screencast_capture(self, path, connector="", timeout=None):
        """The monitor's picture through mutter's ScreenCast and PipeWire (the stream's first
        frame) as a PNG file: True, or False with the reason in screencast.log."""
        timeout = timeout or self.timeout
        log = open(os.path.join(self.work, "screencast.log"), "a")
        cast = self.start(["python3", os.path.join(os.path.dirname(os.path.abspath(__file__)), "mutter_screencast.py"),
                           connector], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log)
        try:
            node = _line(cast.stdout, timeout)
            if not node.startswith("node "):
                return False
            # Mutter sends a frame when the screen changes, and the stream's first at once: one is enough.
            code, _, err = self.run(["gst-launch-1.0", "-q", "pipewiresrc", "path=" + node.split()[1], "num-buffers=1",
                                     "!", "videoconvert", "!", "pngenc", "!", "filesink", "location=" + path],
                                    timeout=timeout)
            log.write(err)
            return code == 0 and os.path.getsize(path) > 0
        finally:
            cast.stdin.close()  # the session stops
            try:
                cast.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                pass
            self.end(cast)
            self.processes.remove(cast)
            cast.stdout.close()
            log.close()

    def _connect_viewer(self):
        """xfreerdp on an Xvfb of its own, connected to weston's RDP server and showing its screen."""
        width, height = (int(v) for v in self.screen.split("x")[:2])
        self.viewer = TestDisplay(screen="%dx%dx24" % (width + 64, height + 64), timeout=self.timeout).__enter__()
        log = open(os.path.join(self.work, "viewer.log"), "w")
        self.viewer.start(["xfreerdp", "/v:127.0.0.1:%d" % self.rdp_port, "/cert:ignore",
                           "/size:%dx%d" % (width, height), "-grab-keyboard"],
                          stdout=log, stderr=subprocess.STDOUT)
        self.viewer_window = self.viewer.wait_for_window("xfreerdp", timeout=self.timeout)
        # The pointer in the viewer's bottom-right corner, away from the windows weston places.
        self.viewer.x("xdotool", "mousemove", "--window", self.viewer_window, str(width - 1), str(height - 1))
        wait_until(lambda: (self.viewer_pixels() or (0, 0, b""))[2].strip(b"\0"), "weston's screen in the RDP viewer",
                   self.timeout, 0.2)

    def viewer_pixels(self):
        """(width, height, RGB bytes) of what the RDP viewer shows, or None."""
        return self.viewer.window_pixels(self.viewer_window) if self.viewer else None

    def sway(self, *argv):
        """swaymsg's answer (JSON as Python values for -t get_*), or None when it failed."""
        code, out, _ = self.run(["swaymsg"] + list(argv), timeout=self.timeout)
        if code != 0:
            return None
        return json.loads(out) if "-t" in argv else out

    def _names_told(self, process, what, names):
        """The first three lines the compositor's command wrote (whole) to `names`, once all are there."""
        self._running(process, what)
        try:
            lines = open(names).read().split("\n")
        except OSError:
            return None
        return lines if len(lines) >= 3 and all(lines[:3]) else None

    def close(self):
        if self.viewer:
            self.viewer.close()
            self.viewer = None
        super().close()
        # What the compositor started in sessions of their own: Xwayland, sway's exec lines.
        for sig in (signal.SIGTERM, signal.SIGKILL):
            left = _marked(self.mark.encode())
            for pid in left:
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            if not left or wait_until_gone(left, 5):
                break
        if self.kind == "sway" and self.runtime:
            shutil.rmtree(self.runtime, ignore_errors=True)
        self.remove_work()  # again: what the compositor's processes wrote until they ended


def _line(stream, timeout):
    """A line of a pipe within `timeout` seconds (or what came before it ended), without its line break."""
    read, deadline = b"", time.monotonic() + timeout
    while not read.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([stream], [], [], left)[0]:
            break
        chunk = os.read(stream.fileno(), 256)
        if not chunk:
            break
        read += chunk
    return read.decode(errors="replace").strip()


def _marked(mark):
    """Processes whose environment holds `mark` (NAME=value)."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit() and int(entry) != os.getpid():
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if mark in f.read().split(b"\0"):
                        found.append(int(entry))
            except OSError:
                pass
    return found


def wait_until_gone(pids, timeout):
    """True once none of the processes is left (zombies count as gone) within `timeout` seconds."""
    def gone():
        for pid in pids:
            try:
                with open("/proc/%d/stat" % pid) as f:
                    if f.read().rsplit(")", 1)[1].split()[0] != "Z":
                        return False
            except OSError:
                pass
        return True
    try:
        return wait_until(gone, "the desktop's processes' end", timeout)
    except WaitFailed:
        return False
