#!/usr/bin/python3
# The real window as a screen reader meets it, over AT-SPI: every control
# named, the window the only frame (the etched lines are separators), the
# text fields labelled, and the eye toggles focusable, off, and heard when
# switched on. It starts a display of its own (Xvfb); it needs a private
# session bus:
#   dbus-run-session -- tests/app/atspi_check.py build/ci/bin/dozo
import os
import subprocess
import sys
import tempfile
import time

import dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DBusGMainLoop(set_as_default=True)
A11Y = 'org.a11y.atspi.Accessible'
PROPERTIES = 'org.freedesktop.DBus.Properties'
LABEL_FOR, LABELLED_BY = 1, 2  # AtspiRelationType
CHECKED, FOCUSABLE = 4, 11     # AtspiStateType
CONTROLS = ('push button', 'text', 'list', 'progress bar', 'check box', 'radio button', 'page tab')

# A display of its own: Xvfb picks a free number itself, so that runs side
# by side never share one. The bus starts the accessibility services with
# it, and they give up at once without a display.
read, write = os.pipe()
xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-nolisten', 'tcp', '-screen', '0',
                         '1280x800x24'], pass_fds=[write], stderr=subprocess.DEVNULL)
os.close(write)
with os.fdopen(read) as announced:
    os.environ['DISPLAY'] = ':' + announced.readline().strip()
session = dbus.SessionBus()
session.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus').UpdateActivationEnvironment(
    {'DISPLAY': os.environ['DISPLAY']}, dbus_interface='org.freedesktop.DBus')

# The accessibility bus first, so that the window finds it when it starts.
bus = dbus.bus.BusConnection(session.get_object('org.a11y.Bus', '/org/a11y/bus')
                             .GetAddress(dbus_interface='org.a11y.Bus'))
bus.get_object('org.a11y.atspi.Registry', '/org/a11y/atspi/registry').RegisterEvent(
    'object:state-changed', dbus.Array([], signature='s'), '',
    dbus_interface='org.a11y.atspi.Registry')
heard = []
bus.add_signal_receiver(lambda kind, *args, path: heard.append((str(kind), path)),
                        signal_name='StateChanged', dbus_interface='org.a11y.atspi.Event.Object',
                        path_keyword='path')

window = subprocess.Popen([sys.argv[1]], stderr=subprocess.DEVNULL,
                          env=dict(os.environ, QT_QPA_PLATFORM='xcb', HOME=tempfile.mkdtemp(),
                                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1'))


def node(ref):
    return bus.get_object(ref[0], ref[1])


def name(ref):
    return str(node(ref).Get(A11Y, 'Name', dbus_interface=PROPERTIES))


def walk(ref, parent=''):
    role = node(ref).GetRoleName(dbus_interface=A11Y)
    yield ref, role, name(ref), parent
    for child in node(ref).GetChildren(dbus_interface=A11Y):
        yield from walk(child, role)


def states(ref):
    bits = node(ref).GetState(dbus_interface=A11Y)
    return {i for i in range(64) if (bits[i // 32] >> (i % 32)) & 1}


def relations(ref):
    return {int(kind) for kind, targets in node(ref).GetRelationSet(dbus_interface=A11Y)}


def wait(seconds):
    loop = GLib.MainLoop()
    GLib.timeout_add(int(seconds * 1000), loop.quit)
    loop.run()


failures = []
try:
    root = ('org.a11y.atspi.Registry', '/org/a11y/atspi/accessible/root')
    app = None
    for _ in range(100):
        app = next((a for a in node(root).GetChildren(dbus_interface=A11Y) if name(a) == 'dozo'), None)
        if app:
            break
        wait(0.2)
    if not app:
        sys.exit('FAIL: the window never came onto the accessibility bus')
    wait(1)  # its first layout
    tree = list(walk(app))
    failures += [f'a {role} without a name' for ref, role, label, parent in tree
                 if role in CONTROLS and not label.strip()]
    frames = sum(1 for r in tree if r[1] == 'frame')
    if frames != 1:
        failures.append(f'{frames} frames: only the window is one')
    separators = sum(1 for r in tree if r[1] == 'separator' and r[3] != 'popup menu')
    if separators != 2:
        failures.append(f'{separators} separators in the window, not the two etched lines')
    failures += [f'the field {label} has no label' for ref, role, label, parent in tree
                 if role == 'text' and LABELLED_BY not in relations(ref)]
    labels = sum(1 for ref, role, label, parent in tree if role == 'label' and LABEL_FOR in relations(ref))
    if labels != 6:
        failures.append(f'{labels} labels name a control, not 6')

    toggles = [ref for ref, role, label, parent in tree
               if role == 'check box' and label == '入力した文字を表示']
    if len(toggles) != 2:
        failures.append(f'{len(toggles)} eye toggles, not 2')
    for ref in toggles:
        if FOCUSABLE not in states(ref) or CHECKED in states(ref):
            failures.append(f'an eye toggle is not focusable and off: {sorted(states(ref))}')
        node(ref).DoAction(0, dbus_interface='org.a11y.atspi.Action')
        wait(1)
        if CHECKED not in states(ref) or ('checked', ref[1]) not in heard:
            failures.append('an eye toggle switched on was not heard so')
finally:
    for process in (window, xvfb):
        process.terminate()
        process.wait()
for failure in failures:
    print('FAIL:', failure)
print(f'{len(tree)} accessible objects checked')
sys.exit(1 if failures else 0)
