#!/usr/bin/env python3
"""How quickly a window's program answers, measured from outside: every INTERVAL ms for
SECONDS s it sends the window manager's ping (_NET_WM_PING) to the window and times the
answer. GTK and Wine answer it from the thread that runs the window's event loop, so the
time to the answer is how late that loop is. Prints every answer later than 100 ms and one
line of figures; exits 1 when a ping was answered later than --max-ms (or not at all).

Usage: answer_probe.py WINDOW_ID SECONDS [--interval 50] [--max-ms 1000]"""
import argparse
import ctypes
import select
import statistics
import sys
import time

from wm_protocols import CLIENT_MESSAGE, Event, atom, open_display, send_protocol, x11

SUBSTRUCTURE_NOTIFY_MASK = 1 << 19

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("window")
parser.add_argument("seconds", type=float)
parser.add_argument("--interval", type=int, default=50, help="ms between two pings")
parser.add_argument("--max-ms", type=float, default=None)
args = parser.parse_args()

display = open_display()
window = int(args.window, 0)
root = x11.XDefaultRootWindow(display)
protocols = atom(display, "WM_PROTOCOLS")
ping = atom(display, "_NET_WM_PING")
# The answer goes to the root window, to those who listen for its children's changes.
x11.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY_MASK)
fd = x11.XConnectionNumber(display)

sent = {}  # stamp -> monotonic time of sending
lateness = []
late_lines = []
start = time.monotonic()


def send(stamp):
    send_protocol(display, window, "_NET_WM_PING", stamp, window)
    sent[stamp] = time.monotonic()


def take_answers(until):
    event = Event()
    while True:
        while x11.XPending(display):
            x11.XNextEvent(display, ctypes.byref(event))
            c = event.xclient
            if (event.type == CLIENT_MESSAGE and c.message_type == protocols
                    and c.data[0] == ping and c.data[2] == window and c.data[1] in sent):
                ms = (time.monotonic() - sent.pop(c.data[1])) * 1000
                lateness.append(ms)
                if ms > 100:
                    late_lines.append(f"{time.monotonic() - start:6.2f} s: answered after {ms:.0f} ms")
        wait = until - time.monotonic()
        if wait <= 0:
            return
        select.select([fd], [], [], wait)


stamp = 1
while time.monotonic() - start < args.seconds:
    send(stamp)
    stamp += 1
    take_answers(time.monotonic() + args.interval / 1000)
# The last answers, and the pings never answered counted as late as they are by now.
take_answers(time.monotonic() + 2)
unanswered = [(time.monotonic() - t) * 1000 for t in sent.values()]
x11.XCloseDisplay(display)

for line in late_lines:
    print(line)
worst = max(lateness + unanswered) if lateness or unanswered else 0
median = statistics.median(lateness) if lateness else 0
print(f"{len(lateness)} of {stamp - 1} pings answered over {args.seconds:.0f} s; "
      f"median {median:.1f} ms, worst {worst:.0f} ms" +
      (f"; {len(unanswered)} unanswered" if unanswered else ""))
if not lateness:
    sys.exit("the window never answered: does it take part in the ping protocol?")
sys.exit(1 if args.max_ms is not None and worst > args.max_ms else 0)
