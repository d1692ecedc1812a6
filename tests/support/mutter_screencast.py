#!/usr/bin/env python3
"""The test's own look at a GNOME desktop's screen: a ScreenCast session of
Mutter's D-Bus API, held open for as long as this process runs.

Usage: mutter_screencast.py [connector]   (DBUS_SESSION_BUS_ADDRESS names the bus)

Records the monitor (connector "" is the primary one) without the pointer,
starts the session and prints "node <id>" once the PipeWire stream is there;
then waits until its standard input ends and stops the session. Mutter ends a
session when the connection that made it closes, so one process must make
every call: gdbus's one call a run cannot. GIO through ctypes, as the
machine has no D-Bus module for Python. Exit 1 with the reason on standard
error when a call fails or the stream does not come within 20 s.
"""
import ctypes
import os
import re
import sys
import time

SERVICE = "org.gnome.Mutter.ScreenCast"
TIMEOUT_MS = 10000

gio = ctypes.CDLL("libgio-2.0.so.0")
glib = ctypes.CDLL("libglib-2.0.so.0")
gobject = ctypes.CDLL("libgobject-2.0.so.0")


class _GError(ctypes.Structure):
    _fields_ = [("domain", ctypes.c_uint32), ("code", ctypes.c_int), ("message", ctypes.c_char_p)]


_P, _S = ctypes.c_void_p, ctypes.c_char_p
_Error = ctypes.POINTER(ctypes.POINTER(_GError))
_SIGNAL = ctypes.CFUNCTYPE(None, _P, _S, _S, _S, _S, _P, _P)
for library, name, result, arguments in (
        (gio, "g_dbus_connection_new_for_address_sync", _P, [_S, ctypes.c_int, _P, _P, _Error]),
        (gio, "g_dbus_connection_call_sync", _P, [_P, _S, _S, _S, _S, _P, _P, ctypes.c_int, ctypes.c_int, _P, _Error]),
        (gio, "g_dbus_connection_signal_subscribe", ctypes.c_uint, [_P, _S, _S, _S, _S, _S, ctypes.c_int, _SIGNAL,
                                                                    _P, _P]),
        (gio, "g_dbus_connection_close_sync", ctypes.c_int, [_P, _P, _Error]),
        (glib, "g_variant_parse", _P, [_P, _S, _P, _P, _Error]),
        (glib, "g_variant_print", _P, [_P, ctypes.c_int]),
        (glib, "g_variant_unref", None, [_P]),
        (glib, "g_free", None, [_P]),
        (glib, "g_main_context_iteration", ctypes.c_int, [_P, ctypes.c_int]),
        (gobject, "g_object_unref", None, [_P])):
    function = getattr(library, name)
    function.restype, function.argtypes = result, arguments


class Failed(Exception):
    pass


def _text(variant):
    printed = glib.g_variant_print(variant, 0)
    text = ctypes.string_at(printed).decode()
    glib.g_free(printed)
    return text


def _raise(error, what):
    raise Failed("%s: %s" % (what, error.contents.message.decode() if error else "no reason"))


class ScreenCast:
    def __init__(self, address):
        error = ctypes.POINTER(_GError)()
        flags = 1 | 8  # authenticate as a client, say Hello to the bus
        self.connection = gio.g_dbus_connection_new_for_address_sync(address.encode(), flags, None, None,
                                                                     ctypes.byref(error))
        if not self.connection:
            _raise(error, "the session bus")
        self.session = None
        self.nodes = []
        self._on_signal = _SIGNAL(self._signal)  # kept: GIO calls it later

    def call(self, path, method, arguments="()"):
        """The reply of interface.Method on the path, as GVariant text; arguments too."""
        error = ctypes.POINTER(_GError)()
        parameters = glib.g_variant_parse(None, arguments.encode(), None, None, ctypes.byref(error))
        if not parameters:
            _raise(error, "the arguments %s" % arguments)
        interface, name = method.rsplit(".", 1)
        reply = gio.g_dbus_connection_call_sync(self.connection, SERVICE.encode(), path.encode(), interface.encode(),
                                                name.encode(), parameters, None, 0, TIMEOUT_MS, None,
                                                ctypes.byref(error))
        if not reply:
            _raise(error, name)
        text = _text(reply)
        glib.g_variant_unref(reply)
        return text

    def _signal(self, connection, sender, path, interface, name, parameters, data):
        self.nodes.append(int(re.search(r"\d+", _text(parameters)).group()))

    def start(self, connector, timeout):
        """The PipeWire node of the monitor's stream."""
        reply = self.call("/org/gnome/Mutter/ScreenCast", SERVICE + ".CreateSession", "(@a{sv} {},)")
        self.session = re.search(r"'([^']+)'", reply).group(1)
        reply = self.call(self.session, SERVICE + ".Session.RecordMonitor",
                          "(%r, {'cursor-mode': <uint32 0>})" % connector)  # 0: the pointer is not drawn
        stream = re.search(r"'([^']+)'", reply).group(1)
        # Subscribed before Start: the signal comes once.
        gio.g_dbus_connection_signal_subscribe(self.connection, None, (SERVICE + ".Stream").encode(),
                                               b"PipeWireStreamAdded", stream.encode(), None, 0, self._on_signal,
                                               None, None)
        self.call(self.session, SERVICE + ".Session.Start")
        deadline = time.monotonic() + timeout
        while not self.nodes:
            if time.monotonic() > deadline:
                raise Failed("no PipeWireStreamAdded within %g s" % timeout)
            glib.g_main_context_iteration(None, 0)
            time.sleep(0.01)
        return self.nodes[0]

    def close(self):
        if self.session:
            self.call(self.session, SERVICE + ".Session.Stop")
        gio.g_dbus_connection_close_sync(self.connection, None, None)
        gobject.g_object_unref(self.connection)


def main():
    try:
        cast = ScreenCast(os.environ["DBUS_SESSION_BUS_ADDRESS"])
        try:
            print("node %d" % cast.start(sys.argv[1] if len(sys.argv) > 1 else "", 20), flush=True)
            sys.stdin.read()
        finally:
            cast.close()
    except Failed as e:
        print("mutter_screencast: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
