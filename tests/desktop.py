#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# KESTRAN in a real X server with AT-SPI, a pseudo-terminal playing the device.
# Three rows come while the operator types, each once the one before is in the
# list. Each must reach a screen reader (an announcement, or a notification
# shown, as the Qt underneath allows) without the focus leaving the entry
# field: the first alone, and the others together unless half a second passed
# first. What is said depends on the order things happened in, never on how
# fast: a slow machine only changes which outcome is right.
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
row = b"\x02burst\r\n"
said_one = "New response: STXburstCRLF"


def find(node, role, name):
    if node.getRoleName() == role and node.name == name:
        return node
    return next((found for child in node if child and (found := find(child, role, name))), None)


def rows_in():
    return sum(1 for child in responses if child.getRoleName() == "list item")


def rows_said():  # how many rows what was heard speaks of
    return sum(1 if text == said_one else int(text.split()[0]) for text in heard)


def start():
    global entry, responses, wrote
    apps = [app for app in pyatspi.Registry.getDesktop(0) if app and app.name.lower() == "kestran"]
    entry = apps and find(apps[0], "text", "Command")
    responses = apps and find(apps[0], "list", "Responses")
    if not entry or not responses:
        return True  # not up yet: look again
    # No window manager activates the window: the test does, as a click would.
    subprocess.run(["xdotool", "search", "--name", "^KESTRAN$", "windowfocus"])
    entry.queryComponent().grabFocus()
    wrote = time.monotonic()
    os.write(device, row)
    GLib.timeout_add(5, step)
    return False


# Each step runs on its own pass of the loop, so what KESTRAN said before
# the last answer has reached the listener by the next.
phase, wrote, second_said = "first", time.monotonic(), False


def step():
    global phase, second_said
    together = "2 new responses, last: STXburstCRLF"
    # Only a guard against waiting for ever: a loaded machine's bus may
    # take seconds to carry what was said.
    if time.monotonic() - wrote > 30:
        failure.append("stuck at the %s row, having heard %r" % (phase, heard))
    elif phase == "first" and heard:
        if heard != [said_one]:
            failure.append("the first row was heard as %r" % heard)
        os.write(device, row)
        phase = "second"
    elif phase == "second" and rows_in() == 2:
        phase = "second in"
    elif phase == "second in":
        # Half a second has not passed since the first was said: the second waits.
        if time.monotonic() - wrote < 0.5 and len(heard) > 1:
            failure.append("the second row was said at once: %r" % heard)
        os.write(device, row)
        phase = "third"
    elif phase == "third" and rows_in() == 3:
        phase = "third in"
    elif phase == "third in":
        second_said = len(heard) > 1  # before the third row was in
        phase = "said"
    elif phase == "said" and rows_said() >= 3:
        if (rows_said() != 3 or not all(text in (said_one, together) for text in heard) or
                (not second_said and heard[1:] != [together])):
            failure.append("heard %r" % heard)
    else:
        return True
    if failure or phase == "said" and rows_said() >= 3:
        if not entry.getState().contains(pyatspi.STATE_FOCUSED):
            failure.append("the focus left the entry field")
        pyatspi.Registry.stop()
        return False
    return True


def listen(event):
    if event.type == "object:announcement" or event.source.getRoleName() == "notification":
        # What was said then; Qt 6.4's leaf tells only that its name changed.
        heard.append(event.any_data if isinstance(event.any_data, str) else event.source.name)


for kind in ["object:announcement", "object:property-change:accessible-name"]:
    pyatspi.Registry.registerEventListener(listen, kind)
GLib.timeout_add(200, start)
GLib.timeout_add(30000, lambda: entry is None and (failure.append("KESTRAN did not come up") or
                                                   pyatspi.Registry.stop()))
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
