"""The one way a Python test gets an X server, and the desktop on it.

    with TestDisplay(window_manager=True, compositor=["picom", "--backend", "xrender"]) as d:
        p = d.start([program, "-check"], env=d.env(VK_ICD_FILENAMES=...))
        window = d.wait_for_window("VYRTEST")

The server picks its own display number (-displayfd), so tests that start at
the same moment never share one. Everything started through the display (the
server, its window manager, compositor, the programs under test) runs in a
session of its own and is ended with the display, on success, failure and
time-out alike; if the test itself is killed, the kernel ends the direct
children (PR_SET_PDEATHSIG). Each display has a session bus of its own, so no
D-Bus client on it autolaunches one that would outlive the test.

Importing the module also puts support/wine-bin first on PATH (64-bit Windows
programs through Wine's 64-bit loader) and records every program a test starts
through subprocess in the file VYR_TEST_PROGRAMS names, when it names one
(tools/test.sh checks that the set-up installs each of them).
"""
import ctypes
import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1

_WINE_BIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine-bin")
if _WINE_BIN not in os.environ.get("PATH", "").split(os.pathsep):
    os.environ["PATH"] = _WINE_BIN + os.pathsep + os.environ.get("PATH", "")

_recorded = set()


def record_program(name, path=None):
    """Notes a program a test starts (its path where found) in VYR_TEST_PROGRAMS' file."""
    record = os.environ.get("VYR_TEST_PROGRAMS")
    if not record or not name:
        return
    found = name if os.sep in name else shutil.which(name, path=path) or name
    if found not in _recorded:
        _recorded.add(found)
        with open(record, "a") as f:
            f.write(found + "\n")


_popen_init = subprocess.Popen.__init__


def _recording_popen_init(self, args, *rest, **options):
    if not options.get("shell") and not isinstance(args, (str, bytes)) and args:
        env = options.get("env") or os.environ
        record_program(os.fsdecode(args[0]), env.get("PATH"))
    _popen_init(self, args, *rest, **options)


subprocess.Popen.__init__ = _recording_popen_init


def _own_session():
    """Runs in the child before exec: a session of its own, ended with its parent."""
    os.setsid()
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


class WaitFailed(AssertionError):
    pass


def wait_until(predicate, what, timeout=30, interval=0.05):
    """predicate()'s first true value; WaitFailed naming `what` after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise WaitFailed("%s did not come within %g s" % (what, timeout))
        time.sleep(interval)


def free_tcp_port():
    """A loopback port nothing listens on now, for a server that cannot pick its own."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_session(argv, timeout=120, **popen):
    """A command (a shell harness, a tool) to its end in a session of its own:
    (exit code, stdout, stderr), the code None after `timeout` seconds, when the
    whole session is ended (TERM first, so a shell's EXIT trap can clean up)."""
    process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True, preexec_fn=_own_session, **popen)
    try:
        out, err = process.communicate(timeout=timeout)
        code = process.returncode
    except subprocess.TimeoutExpired:
        TestDisplay.end(process, grace=15)
        out, err = process.communicate()
        code = None
    TestDisplay.end(process)  # what the session left running
    return code, out, err


def start_session_bus(owner, work, timeout):
    """A session bus of the display's own, started through `owner` (ended with it):
    its address. A client that finds none would autolaunch one that outlives the test."""
    read, write = os.pipe()
    owner.start(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address",
                 "unix:path=" + os.path.join(work, "bus"), "--print-address=%d" % write],
                env=dict(os.environ), pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    address = b""
    deadline = time.monotonic() + timeout
    try:
        while not address.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([read], [], [], left)[0]:
                raise WaitFailed("the session bus's address did not come within %g s" % timeout)
            chunk = os.read(read, 256)
            if not chunk:
                raise WaitFailed("the session bus ended before it told its address")
            address += chunk
    finally:
        os.close(read)
    return address.decode().strip()


class DriverFault:
    """The driver-fault library (tests/preload/driver_faults.c) in front of the
    real driver with one fault: env() for the program, took() whether the fault
    acted, so a harness judges what followed only once it did."""

    def __init__(self, library, fault, folder):
        self.library = library
        self.fault = fault
        self.record = tempfile.mkstemp(prefix="fault-took.", dir=folder)[1]

    def env(self):
        os.truncate(self.record, 0)  # each run tells anew
        return {"LD_PRELOAD": self.library, "DRIVER_FAULT": self.fault, "DRIVER_FAULT_TOOK": self.record}

    def took(self):
        with open(self.record) as f:
            return self.fault in f.read().split()

    def not_taken(self):
        """The failure's words when the fault never acted, else None."""
        return None if self.took() else "the fault did not take (%s never acted)" % self.fault


def _xwd_pixels(data):
    """(width, height, RGB bytes) of an XWD image of a TrueColor window with 24 or 32 bits a pixel."""
    header = [int.from_bytes(data[i:i + 4], "big") for i in range(0, 100, 4)]
    size, width, height, byte_order, bits, line, colours = (header[0], header[4], header[5], header[7],
                                                            header[11], header[12], header[19])
    masks = header[14:17]
    at = size + 12 * colours
    step = bits // 8
    rgb = bytearray()
    for y in range(height):
        row = data[at + y * line:at + y * line + width * step]
        for x in range(0, len(row), step):
            value = int.from_bytes(row[x:x + step], "little" if byte_order == 0 else "big")
            for mask in masks:
                shift = (mask & -mask).bit_length() - 1
                rgb.append((value & mask) >> shift)
    return width, height, bytes(rgb)


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
                ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class _Xlib:
    """The few Xlib calls the helper needs, without a tool that grabs the server."""

    def __init__(self):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XGetSelectionOwner.restype = ctypes.c_ulong
        x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                            ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(_XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x = x

    def selection_owned(self, display, selection):
        connection = self.x.XOpenDisplay(display.encode())
        if not connection:
            return False
        try:
            return self.x.XGetSelectionOwner(connection, self.x.XInternAtom(connection, selection.encode(), 0)) != 0
        finally:
            self.x.XCloseDisplay(connection)

    def screen_pixels(self, display, window, width, height):
        """RGB bytes of the screen (the root window) where `window` shows, from its
        top-left corner: what a viewer of the screen sees there."""
        connection = self.x.XOpenDisplay(display.encode())
        if not connection:
            return None
        try:
            root = self.x.XDefaultRootWindow(connection)
            x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
            if not self.x.XTranslateCoordinates(connection, window, root, 0, 0, ctypes.byref(x), ctypes.byref(y),
                                                ctypes.byref(child)):
                return None
            image = self.x.XGetImage(connection, root, x.value, y.value, width, height, ctypes.c_ulong(~0 & 0xffffffff), 2)
            if not image:
                return None
            i = image.contents
            if i.bits_per_pixel != 32:
                return None
            data = ctypes.string_at(i.data, i.bytes_per_line * height)
            rgb = bytearray()
            for row in range(height):
                line = data[row * i.bytes_per_line: row * i.bytes_per_line + 4 * width]
                for p in range(0, 4 * width, 4):  # B, G, R, unused
                    rgb += bytes((line[p + 2], line[p + 1], line[p]))
            return bytes(rgb)
        finally:
            self.x.XCloseDisplay(connection)

    def answers(self, display):
        connection = self.x.XOpenDisplay(display.encode())
        if connection:
            self.x.XCloseDisplay(connection)
        return bool(connection)


class TestDisplay:
    """An X server of the test's own: Xvfb, or Xtigervnc when `vnc` is true
    (then `vnc_port` is its RFB port on loopback, no password)."""

    def __init__(self, screen="1280x1024x24", window_manager=False, compositor=None, vnc=False, timeout=30,
                 server_args=()):
        self.screen = screen
        self.want_window_manager = window_manager
        self.compositor = compositor
        self.vnc = vnc
        self.server_args = list(server_args)  # e.g. ["-extension", "DAMAGE"]: a server without it
        self.timeout = timeout
        self.name = None
        self.bus = None  # the display's own session bus address
        self.vnc_port = None
        self.processes = []
        self.work = tempfile.mkdtemp(prefix="vyr-display.")
        self._numbers = None
        self._xlib = _Xlib()

    # The server, its number read from the pipe; the pipe stays open while it runs.
    # -noreset: a server that resets when its last client leaves refuses the
    # next one for a moment (the helper's own probe is such a last client).
    def __enter__(self):
        try:
            self._start_server()
            self.bus = start_session_bus(self, self.work, self.timeout)
            if self.want_window_manager:
                self.start_window_manager()
            if self.compositor:
                self.start_compositor(self.compositor)
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _start_server(self):
        read, write = os.pipe()
        width, height, depth = self.screen.split("x")
        if self.vnc:
            self.vnc_port = free_tcp_port()
            argv = ["Xtigervnc", "-displayfd", str(write), "-geometry", "%sx%s" % (width, height), "-depth", depth,
                    "-rfbport", str(self.vnc_port), "-localhost", "-SecurityTypes", "None", "-AlwaysShared",
                    "-nolisten", "tcp", "-noreset"]
        else:
            argv = ["Xvfb", "-displayfd", str(write), "-screen", "0", self.screen, "-nolisten", "tcp", "-noreset"]
        argv += self.server_args
        log = open(os.path.join(self.work, "server.log"), "w")
        self.processes.append(subprocess.Popen(argv, pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=log,
                                               stderr=subprocess.STDOUT, preexec_fn=_own_session))
        os.close(write)
        self._numbers = read
        number = b""
        deadline = time.monotonic() + self.timeout
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([read], [], [], left)[0]:
                raise WaitFailed("the X server's display number did not come within %g s" % self.timeout)
            chunk = os.read(read, 16)
            if not chunk:
                raise WaitFailed("the X server ended before it told its number (%s)" % self.log("server"))
            number += chunk
        self.name = ":" + number.decode().strip()
        wait_until(lambda: self._xlib.answers(self.name), "an answer from the X server " + self.name, self.timeout)

    def log(self, what):
        try:
            with open(os.path.join(self.work, what + ".log")) as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    def env(self, **extra):
        """The environment of a program on this display: no sound device, Mesa's software drivers."""
        env = dict(os.environ, DISPLAY=self.name, SDL_AUDIODRIVER="dummy", LIBGL_ALWAYS_SOFTWARE="1",
                   XDG_DATA_HOME=self.work, DBUS_SESSION_BUS_ADDRESS=self.bus or "disabled:")
        env.pop("WAYLAND_DISPLAY", None)
        env.update(extra)
        return env

    def start(self, argv, env=None, **popen):
        """A program on this display in a session of its own, ended with the display."""
        popen.setdefault("stdin", subprocess.DEVNULL)
        env = dict(env or self.env())
        if self.bus:  # whatever the caller built its environment from
            env["DBUS_SESSION_BUS_ADDRESS"] = self.bus
        process = subprocess.Popen(argv, env=env, preexec_fn=_own_session, **popen)
        self.processes.append(process)
        return process

    def run(self, argv, timeout=120, env=None, **popen):
        """A program to its end: (exit code, stdout, stderr); the code is None after `timeout` seconds."""
        popen.setdefault("text", True)
        popen.setdefault("stdout", subprocess.PIPE)
        popen.setdefault("stderr", subprocess.PIPE)
        process = self.start(argv, env=env, **popen)
        try:
            out, err = process.communicate(timeout=timeout)
            code = process.returncode
        except subprocess.TimeoutExpired:
            self.end(process)
            out, err = process.communicate()
            code = None
        # Its session's leftovers now, and forgotten: a waited-for pid may be reused by the time the display closes.
        self.end(process)
        self.processes.remove(process)
        return code, out, err

    def x(self, *argv, timeout=30):
        """An X client tool (xdotool, wmctrl, xprop) on this display: its output, or None when it failed."""
        code, out, _ = self.run(list(argv), timeout=timeout)
        return out if code == 0 else None

    def save_window(self, window, path):
        """The window's picture as a PNG file (xwd reads it without grabbing the server,
        which would stall every other client of it); False when the window could not be read."""
        xwd = self.run(["xwd", "-id", str(window), "-silent"], text=False)
        if xwd[0] != 0:
            return False
        converted = subprocess.run(["convert", "xwd:-", "png:" + path], input=xwd[1], capture_output=True)
        return converted.returncode == 0

    def window_pixels(self, window):
        """(width, height, RGB bytes) of the window as the server holds it, or None."""
        code, data, _ = self.run(["xwd", "-id", str(window), "-silent"], text=False)
        return _xwd_pixels(data) if code == 0 and len(data) > 100 else None

    def start_window_manager(self):
        self.start(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Ready once it names itself on the root window.
        wait_until(lambda: "window id" in (self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK") or ""),
                   "openbox on " + self.name, self.timeout)

    def start_compositor(self, argv):
        log = open(os.path.join(self.work, "compositor.log"), "w")
        process = self.start(list(argv), stdout=log, stderr=subprocess.STDOUT)
        # A compositor owns the _NET_WM_CM_S<screen> selection once it composites.
        wait_until(lambda: self._xlib.selection_owned(self.name, "_NET_WM_CM_S0") or process.poll() is not None,
                   "the compositor %s on %s" % (argv[0], self.name), self.timeout)
        if process.poll() is not None:
            raise WaitFailed("the compositor %s ended with %s: %s" % (argv[0], process.returncode, self.log("compositor")))
        return process

    def wait_for_window(self, class_name="VYRTEST", timeout=60):
        """The id (decimal text) of the first visible window of the class."""
        found = wait_until(lambda: (self.x("xdotool", "search", "--onlyvisible", "--class", class_name) or "").split(),
                           "a visible %s window" % class_name, timeout)
        return found[0]

    def screen_pixels(self, window, width=640, height=400):
        """RGB bytes of what the screen shows at the window's place (window: id as
        int or decimal text), read without grabbing the server; None when unreadable."""
        return self._xlib.screen_pixels(self.name, int(window), width, height)

    @staticmethod
    def end(process, grace=5):
        """Ends a process's whole session: TERM, then KILL after `grace` seconds."""
        if process.poll() is None:
            for sig in (signal.SIGTERM, signal.SIGKILL):
                try:
                    os.killpg(process.pid, sig)
                except ProcessLookupError:
                    break
                try:
                    process.wait(timeout=grace)
                    break
                except subprocess.TimeoutExpired:
                    continue
        # Whatever the process's session still holds (a helper it started) goes too. While
        # it holds anything, the kernel gives its number to no new process: a number in
        # use again belongs to someone else's process.
        if not os.path.exists("/proc/%d" % process.pid):
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass

    def close(self):
        # Clients first, the server last: a client ended after its server may hang.
        for process in reversed(self.processes):
            self.end(process)
        self.processes = []
        if self._numbers is not None:
            os.close(self._numbers)
            self._numbers = None
        self.remove_work()

    def remove_work(self):
        """The display's folder (logs, the bus's socket, the programs' data) goes with it, unless VYR_KEEP_WORK."""
        if not os.environ.get("VYR_KEEP_WORK"):
            shutil.rmtree(self.work, ignore_errors=True)
