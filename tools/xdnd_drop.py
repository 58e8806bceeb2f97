#!/usr/bin/env python3
"""Drops files on an X window through the XDND protocol, as a Linux file manager does, so that tests
can drop from outside onto a program running under Wine.

Usage: xdnd_drop.py WINDOW X Y PATH...
WINDOW is the X window id of the target's top-level window, X and Y the drop point in root
coordinates, each PATH a Unix path. Offers the files as text/uri-list, sends XdndEnter, XdndPosition
and, once the target accepts, XdndDrop, and answers the target's requests for the data. Exits 0 once
the target has said XdndFinished; 1 when it refused the drop or did not answer in time.
Only libX11 through ctypes: no module beyond the standard library.
"""
import ctypes
import ctypes.util
import select
import sys
import time
import urllib.parse

xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")

Atom = Window = Time = ctypes.c_ulong


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class SelectionRequest(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("owner", Window), ("requestor", Window),
                ("selection", Atom), ("target", Atom), ("property", Atom), ("time", Time)]


class SelectionNotify(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", Window), ("selection", Atom),
                ("target", Atom), ("property", Atom), ("time", Time)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", ClientMessage), ("request", SelectionRequest),
                ("notify", SelectionNotify), ("pad", ctypes.c_long * 24)]


SELECTION_REQUEST, SELECTION_NOTIFY, CLIENT_MESSAGE = 30, 31, 33
PROP_MODE_REPLACE, XA_ATOM = 0, 4
OUR_VERSION = 5

xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XDefaultRootWindow.restype = Window
xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
xlib.XInternAtom.restype = Atom
xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
xlib.XCreateSimpleWindow.restype = Window
xlib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
xlib.XSetSelectionOwner.argtypes = [ctypes.c_void_p, Atom, Window, Time]
xlib.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
xlib.XChangeProperty.argtypes = [ctypes.c_void_p, Window, Atom, Atom, ctypes.c_int, ctypes.c_int,
                                 ctypes.c_char_p, ctypes.c_int]
xlib.XPending.argtypes = [ctypes.c_void_p]
xlib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(Event)]
xlib.XFlush.argtypes = [ctypes.c_void_p]
xlib.XConnectionNumber.argtypes = [ctypes.c_void_p]
xlib.XGetWindowProperty.argtypes = [ctypes.c_void_p, Window, Atom, ctypes.c_long, ctypes.c_long,
                                    ctypes.c_int, Atom, ctypes.POINTER(Atom), ctypes.POINTER(ctypes.c_int),
                                    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                    ctypes.POINTER(ctypes.c_void_p)]
xlib.XFree.argtypes = [ctypes.c_void_p]


def fail(message):
    print("xdnd_drop: " + message, file=sys.stderr)
    sys.exit(1)


def main():
    if len(sys.argv) < 5:
        fail("usage: xdnd_drop.py WINDOW X Y PATH...")
    target, x, y = int(sys.argv[1], 0), int(sys.argv[2]), int(sys.argv[3])
    uris = "".join("file://" + urllib.parse.quote(path) + "\r\n" for path in sys.argv[4:]).encode()

    display = xlib.XOpenDisplay(None)
    if not display:
        fail("cannot open the display")
    atom = lambda name: xlib.XInternAtom(display, name.encode(), 0)
    uri_list, selection, copy = atom("text/uri-list"), atom("XdndSelection"), atom("XdndActionCopy")
    source = xlib.XCreateSimpleWindow(display, xlib.XDefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0)
    xlib.XSetSelectionOwner(display, selection, source, 0)

    # The version the target speaks, from its XdndAware property.
    kind, size, count, left = Atom(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
    data = ctypes.c_void_p()
    xlib.XGetWindowProperty(display, target, atom("XdndAware"), 0, 1, 0, XA_ATOM, ctypes.byref(kind),
                            ctypes.byref(size), ctypes.byref(count), ctypes.byref(left), ctypes.byref(data))
    if not data or count.value != 1:
        fail("the window does not take drops (no XdndAware)")
    version = min(OUR_VERSION, ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[0])
    xlib.XFree(data)

    def send(name, *values):
        event = Event()
        event.client.type = CLIENT_MESSAGE
        event.client.window = target
        event.client.message_type = atom(name)
        event.client.format = 32
        for i, value in enumerate(values):
            event.client.l[i] = value
        xlib.XSendEvent(display, target, 0, 0, ctypes.byref(event))
        xlib.XFlush(display)

    def answer(request):
        # The target asks for the data: the uri list, put on its property.
        reply = Event()
        reply.notify.type = SELECTION_NOTIFY
        reply.notify.requestor = request.requestor
        reply.notify.selection = request.selection
        reply.notify.target = request.target
        reply.notify.time = request.time
        reply.notify.property = 0
        if request.target == uri_list:
            xlib.XChangeProperty(display, request.requestor, request.property, uri_list, 8,
                                 PROP_MODE_REPLACE, uris, len(uris))
            reply.notify.property = request.property
        xlib.XSendEvent(display, request.requestor, 0, 0, ctypes.byref(reply))
        xlib.XFlush(display)

    def wait_for(name, seconds=15):
        wanted, deadline = atom(name), time.monotonic() + seconds
        while time.monotonic() < deadline:
            if not xlib.XPending(display):
                select.select([xlib.XConnectionNumber(display)], [], [], 0.1)
                continue
            event = Event()
            xlib.XNextEvent(display, ctypes.byref(event))
            if event.type == SELECTION_REQUEST:
                answer(event.request)
            elif event.type == CLIENT_MESSAGE and event.client.message_type == wanted:
                return event.client
        fail("no " + name + " from the target within %d s" % seconds)

    send("XdndEnter", source, version << 24, uri_list, 0, 0)
    send("XdndPosition", source, 0, (x << 16) | y, 0, copy)
    status = wait_for("XdndStatus")
    if not status.l[1] & 1:
        send("XdndLeave", source, 0, 0, 0, 0)
        fail("the target refused the drop at %d,%d" % (x, y))
    send("XdndDrop", source, 0, 0, 0, 0)
    wait_for("XdndFinished")
    return 0


if __name__ == "__main__":
    sys.exit(main())
