#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# KESTRAN in a real X server with AT-SPI, a pseudo-terminal playing the device.
# Of three quick rows that come while the operator types, the first must reach
# a screen reader at once, the other two as one word half a second later (an
# announcement, or a notification shown, as the Qt underneath allows), and
# the focus must stay in the entry field.
#   dbus-run-session -- tests/desktop.py [--here: on this display and bus] BUILD/window/kestran
import os, socket, subprocess, sys, time, tty
import pyatspi
from gi.repository import GLib

here = sys.argv[1] == "--here"
xvfb = subprocess.Popen(["true"] if here else ["Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset"],
                        stdout=subprocess.PIPE)
display = os.environ["DISPLAY"][1:] if here else xvfb.stdout.readline().decode().strip()
os.environ["DISPLAY"] = ":" + display
while not here and socket.socket(socket.AF_UNIX).connect_ex("/tmp/.X11-unix/X" + display):
    time.sleep(0.05)  # Xvfb names its display a little before it takes connections
bus = subprocess.Popen(["true"] if here else ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
device, terminal = os.openpty()
tty.setraw(terminal)
kestran = subprocess.Popen([sys.argv[-1], os.ttyname(terminal)],
                           env=dict(os.environ, QT_QPA_PLATFORM="xcb",
                                    QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
heard, entry, failure = [], None, []


def find(node, role, name):
    if node.getRoleName() == role and node.name == name:
        return node
    return next((found for child in node if child and (found := find(child, role, name))), None)


def start():
    global entry
    apps = [app for app in pyatspi.Registry.getDesktop(0) if app and app.name.lower() == "kestran"]
    entry = apps and find(apps[0], "text", "Command")
    if not entry:
        return True  # not up yet: look again
    # No window manager activates the window: the test does, as a click would.
    subprocess.run(["xdotool", "search", "--name", "^KESTRAN$", "windowfocus"])
    entry.queryComponent().grabFocus()
    for delay in (300, 400, 500):  # three rows, one after another
        GLib.timeout_add(delay, lambda: os.write(device, b"\x02burst\r\n") and False)
    GLib.timeout_add(1500, finish)
    return False


def listen(event):
    if event.type == "object:announcement" or event.source.getRoleName() == "notification":
        heard.append(event.any_data if event.type == "object:announcement" else event.source.name)


def finish():
    if heard != ["New response: STXburstCRLF", "2 new responses, last: STXburstCRLF"]:
        failure.append("heard %r" % heard)
    if not entry.getState().contains(pyatspi.STATE_FOCUSED):
        failure.append("the focus left the entry field")
    pyatspi.Registry.stop()


for kind in ["object:announcement", "object:property-change:accessible-name"]:
    pyatspi.Registry.registerEventListener(listen, kind)
GLib.timeout_add(200, start)
GLib.timeout_add(15000, lambda: failure.append("KESTRAN did not come up") or pyatspi.Registry.stop())
pyatspi.Registry.start()
# A signal while the start-up message waits ends the program as always.
waiting = subprocess.Popen([sys.argv[-1], "/dev/kestran-no-such-port"], stderr=subprocess.PIPE,
                           env=dict(os.environ, QT_QPA_PLATFORM="xcb"))
next((line for line in waiting.stderr if line.startswith(b"kestran:")), None)  # its box is up
time.sleep(0.3)
waiting.terminate()
if waiting.wait() != 128 + 15:
    failure.append("ended with %d after SIGTERM during the start-up message" % waiting.returncode)
print("\n".join(failure) or "heard: " + heard[-1])
for process in (kestran, bus, xvfb):
    process.terminate()
    process.wait()
sys.exit(1 if failure else 0)
