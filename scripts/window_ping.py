#!/usr/bin/env python3
"""Watches whether a program's window answers, as a window manager does with
_NET_WM_PING: every INTERVAL seconds the window is pinged, and the time until
its program answers (on its user-interface thread) is written to stdout, one
line per ping: "<unix time> <milliseconds>", or "<unix time> hang" when a
ping has gone unanswered for HANG seconds.

The answer goes to the root window's substructure redirect, which only one
client can hold, the window manager; so this is meant for a display without
one (Xvfb), and it also does the little a window manager must: it maps and
configures windows as their programs ask, so message boxes still appear.
Needs only libX11. Usage: window_ping.py <window id> [interval] [hang]"""
import ctypes
import ctypes.util
import select
import sys
import time

win = int(sys.argv[1], 0)
interval = float(sys.argv[2]) if len(sys.argv) > 2 else 2.0
hang = float(sys.argv[3]) if len(sys.argv) > 3 else 5.0

x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
Display, Window, Atom = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong
x.XOpenDisplay.restype = Display
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultRootWindow.restype = Window
x.XDefaultRootWindow.argtypes = [Display]
x.XInternAtom.restype = Atom
x.XInternAtom.argtypes = [Display, ctypes.c_char_p, ctypes.c_int]
x.XSelectInput.argtypes = [Display, Window, ctypes.c_long]
x.XSendEvent.argtypes = [Display, Window, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XMapWindow.argtypes = [Display, Window]
x.XConfigureWindow.argtypes = [Display, Window, ctypes.c_uint, ctypes.c_void_p]
x.XFlush.argtypes = [Display]
x.XPending.argtypes = [Display]
x.XNextEvent.argtypes = [Display, ctypes.c_void_p]
x.XConnectionNumber.argtypes = [Display]
# A window that has gone (the program ended) is not an error worth stopping for.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, Display, ctypes.c_void_p)
ignore_errors = ERROR_HANDLER(lambda d, e: 0)
x.XSetErrorHandler(ignore_errors)


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", Display), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class MapRequest(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", Display), ("parent", Window), ("window", Window)]


class ConfigureRequest(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", Display), ("parent", Window), ("window", Window),
                ("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("above", Window),
                ("detail", ctypes.c_int), ("value_mask", ctypes.c_ulong)]


class WindowChanges(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("sibling", Window),
                ("stack_mode", ctypes.c_int)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", ClientMessage), ("map", MapRequest),
                ("configure", ConfigureRequest), ("pad", ctypes.c_long * 24)]


MAP_REQUEST, CONFIGURE_REQUEST, CLIENT_MESSAGE = 20, 23, 33
SUBSTRUCTURE_NOTIFY, SUBSTRUCTURE_REDIRECT = 1 << 19, 1 << 20

dpy = x.XOpenDisplay(None)
if not dpy:
    sys.exit("cannot open the display")
root = x.XDefaultRootWindow(dpy)
wm_protocols = x.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
net_wm_ping = x.XInternAtom(dpy, b"_NET_WM_PING", 0)
x.XSelectInput(dpy, root, SUBSTRUCTURE_NOTIFY | SUBSTRUCTURE_REDIRECT)
fd = x.XConnectionNumber(dpy)


def handle(ev, stamp):
    """Passes map and configure requests on; True for the answer to ping `stamp`."""
    if ev.type == MAP_REQUEST:
        x.XMapWindow(dpy, ev.map.window)
    elif ev.type == CONFIGURE_REQUEST:
        c = ev.configure
        changes = WindowChanges(c.x, c.y, c.width, c.height, c.border_width, c.above, c.detail)
        x.XConfigureWindow(dpy, c.window, c.value_mask & 0x7F, ctypes.byref(changes))
    elif ev.type == CLIENT_MESSAGE:
        return ev.client.data[0] == net_wm_ping and ev.client.data[1] == stamp
    return False


stamp = 1
sent = None
next_ping = time.monotonic()
while True:
    now = time.monotonic()
    if sent is None and now >= next_ping:
        stamp += 1
        ping = Event()
        ping.client.type = CLIENT_MESSAGE
        ping.client.window = win
        ping.client.message_type = wm_protocols
        ping.client.format = 32
        ping.client.data[0] = net_wm_ping
        ping.client.data[1] = stamp
        ping.client.data[2] = win
        x.XSendEvent(dpy, win, 0, 0, ctypes.byref(ping))
        x.XFlush(dpy)
        sent = now
    elif sent is not None and now - sent >= hang:
        print(f"{time.time():.0f} hang", flush=True)
        sent, next_ping = None, now
    while x.XPending(dpy):
        ev = Event()
        x.XNextEvent(dpy, ctypes.byref(ev))
        if handle(ev, stamp) and sent is not None:
            print(f"{time.time():.0f} {(time.monotonic() - sent) * 1000:.0f}", flush=True)
            next_ping = sent + interval
            sent = None
    x.XFlush(dpy)
    select.select([fd], [], [], 0.05)
