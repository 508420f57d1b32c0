#!/usr/bin/env python3
"""The window manager's side of the WM_PROTOCOLS messages, for a virtual display that has no
window manager: the close button's WM_DELETE_WINDOW and the ping _NET_WM_PING, sent with
Xlib through ctypes. Imported by answer_probe.py; as a program, `wm_protocols.py close ID`
asks the window to close as a window manager's close button does."""
import ctypes
import ctypes.util
import sys

x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

CLIENT_MESSAGE = 33


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


def open_display():
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("no X display")
    return display


def atom(display, name):
    return x11.XInternAtom(display, name.encode(), 0)


def send_protocol(display, window, protocol, *data):
    """Sends WM_PROTOCOLS `protocol` with up to four more data words; true when sent."""
    event = Event()
    event.xclient.type = CLIENT_MESSAGE
    event.xclient.window = window
    event.xclient.message_type = atom(display, "WM_PROTOCOLS")
    event.xclient.format = 32
    event.xclient.data[0] = atom(display, protocol)
    for i, value in enumerate(data):
        event.xclient.data[i + 1] = value
    sent = x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    return bool(sent)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] != "close":
        sys.exit("usage: wm_protocols.py close WINDOW_ID")
    display = open_display()
    sent = send_protocol(display, int(sys.argv[2], 0), "WM_DELETE_WINDOW")
    x11.XCloseDisplay(display)
    sys.exit(0 if sent else 1)
