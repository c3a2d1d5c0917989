#!/usr/bin/python3
"""Checks with an AT-SPI reader what a screen reader finds in the utility, in its three control
states, and in the Frame Monitor with a CAN database loaded: every control by its role and its label (its name, or a label tied to it by a
labelled-by relation), the status panels' texts as their names, and the settings dialog's
fields by their labels. It connects through the dialog as a user would, first to a module in
configuration mode, then to one in operation mode.
Usage: scripts/check-accessibility.sh BUILD_DIR   (starts Xvfb, a session bus and the virtual
modules itself; this script gets the two modules' paths as its arguments)"""
import sys
import time

import pyatspi
from gi.repository import Atspi, GLib

CONTROLS = [
    # (role, label)
    ("push button", "Connect"), ("push button", "Disconnect"), ("push button", "Exit"),
    ("push button", "About"),
    ("page tab", "Settings"), ("page tab", "Test"),
    ("combo box", "RS-232 Baudrate"), ("combo box", "Data Bit"), ("combo box", "Stop Bit"),
    ("combo box", "Parity"), ("combo box", "Add Checksum"), ("combo box", "Error Response"),
    ("combo box", "CAN Specification"), ("combo box", "CAN bus Baudrate"),
    ("text", "Acceptance Code"), ("text", "Acceptance Mask"), ("text", "Fixed Tx CAN ID"),
    ("check box", "Pair Connection"), ("check box", "Fixed Tx CAN ID"),
    ("check box", "Response with CAN ID"),
    ("radio button", "None"), ("radio button", "CR"), ("radio button", "LF"),
    ("radio button", "CR_LF"), ("radio button", "LF_CR"),
    ("push button", "Defaults"), ("push button", "Setting"),
    ("text", "ID(Hex)"), ("text", "MODE"), ("text", "RTR"), ("text", "DLC"),
] + [("text", "D%d" % k) for k in range(1, 9)] + [
    ("check box", "Use CAN Message"), ("text", "Interval"), ("push button", "Set"),
    ("text", "Send line"), ("push button", "Auto"), ("push button", "Stop"),
    ("push button", "Send"), ("list", "Receive"), ("push button", "Clear"),
    ("push button", "Save"), ("push button", "Start"),
]
# Labels that must reach their field by relation: the fields that show a value.
RELATED = {(role, label) for role, label in CONTROLS if role in ("combo box", "text") and label != "Send line"}
# While the list receives, its pause button reads "Stop".
OPERATION_CONTROLS = [c for c in CONTROLS if c != ("push button", "Start")]
DIALOG = [("combo box", "COM Port"), ("combo box", "K-3316 Baud"), ("text", "Timeout")]
# The Frame Monitor window (View menu, F6): a window with its title, every control by its label;
# a database is remembered from a "last run", so its button, the signals pane and Plot are there.
FRAME_MONITOR = [
    ("check box", "Pause"), ("push button", "Clear"), ("push button", "Save As..."),  # Pause is checkable
    ("push button", "Record..."), ("combo box", "View:"), ("spin button", "History:"),
    ("push button", "Database..."), ("text", "Identifiers:"), ("combo box", "Kind:"), ("text", "Text:"),
    ("table", "Lines"), ("table", "Signals"), ("push button", "Plot"),
]
FRAME_MONITOR_RELATED = {c for c in FRAME_MONITOR if c[1].endswith(":")}


failures = []


def fail(message):
    failures.append(message)
    print("accessibility: " + message)


def walk(node, out, depth=0):
    if node is None or depth > 40:
        return
    out.append(node)
    for i in range(node.childCount):
        try:
            walk(node.getChildAtIndex(i), out, depth + 1)
        except Exception:
            pass


def labelled_by(node):
    names = set()
    try:
        for relation in node.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                names.update(relation.getTarget(k).name for k in range(relation.getNTargets()))
    except Exception:
        pass
    return names


def index(root):
    """(role, label) -> node, for every node by its name and by every label tied to it."""
    nodes = []
    walk(root, nodes)
    found = {}
    for node in nodes:
        try:
            role = node.getRoleName()
        except Exception:
            continue
        for label in labelled_by(node):
            found.setdefault((role, label), (node, "relation"))
        found.setdefault((role, node.name), (node, "name"))
    return found


def check_controls(root, expected, state, related=()):
    found = index(root)
    missing = [e for e in expected if e not in found]
    for role, label in missing:
        fail("%s: not found: %s %r" % (state, role, label))
    for role, label in expected:
        # a label hidden behind an accessible name would still be found by name: the relation
        # must be there too for the fields that show a value
        if (role, label) in related and (role, label) in found and label not in labelled_by(found[(role, label)][0]):
            fail("%s: %s %r has no label tied to it" % (state, role, label))
    print("accessibility: %s: %d of %d controls found by role and label"
          % (state, len(expected) - len(missing), len(expected)))
    return found


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except Exception:
        return None


def status_panels(app):
    nodes = []
    walk(app, nodes)
    for node in nodes:
        if node.getRoleName() == "status bar":
            return [node.getChildAtIndex(i) for i in range(node.childCount)
                    if node.getChildAtIndex(i).getRoleName() == "label"]
    return []


def wait_for(condition, seconds=15):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            if condition():
                return True
        except Exception:
            pass
        time.sleep(0.2)
    return False


def check_panels(app, expected, state):
    """Each panel's name is its text; where a panel offers a text too, that is the same."""
    def read():
        return [(p.name, text_of(p)) for p in status_panels(app)][:len(expected)]

    def matches():
        panels = read()
        return [name for name, _ in panels] == expected and all(
            text is None or text == name for name, text in panels)
    if not wait_for(matches):
        fail("%s: status panels read %r (name, text), expected the names %r" % (state, read(), expected))
    else:
        print("accessibility: %s: status panels read %r" % (state, expected))


def press(node):
    # A tool button's press runs the handler inside the reader's call, and the connect handler
    # opens a modal dialog: do not wait for the reply.
    Atspi.set_timeout(1000, -1)
    try:
        node.queryAction().doAction(0)
    except GLib.GError:
        pass
    finally:
        Atspi.set_timeout(25000, -1)


def find_app():
    deadline = time.time() + 30
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            child = desktop.getChildAtIndex(i)
            if child is not None and "3316" in (child.name or ""):
                return child
        time.sleep(0.5)
    return None


def window(app, title):
    for i in range(app.childCount):
        child = app.getChildAtIndex(i)
        if child is not None and child.name == title and child.getRoleName() == "dialog":
            return child
    return None


def top_window(app, title):
    for i in range(app.childCount):
        child = app.getChildAtIndex(i)
        if child is not None and child.name == title:
            return child
    return None


def check_frame_monitor(app):
    nodes = []
    walk(app, nodes)
    items = [n for n in nodes if n.getRoleName() == "menu item" and n.name == "Frame Monitor"]
    if not items:
        fail("frame monitor: no menu item \"Frame Monitor\"")
        return
    press(items[0])
    if not wait_for(lambda: top_window(app, "Frame Monitor") is not None):
        fail("frame monitor: no window named \"Frame Monitor\" appeared")
        return
    window = top_window(app, "Frame Monitor")
    if window.getRoleName() not in ("frame", "window"):
        fail("frame monitor: reaches a screen reader as a %r, not a window" % window.getRoleName())
    else:
        print("accessibility: frame monitor: a %s named %r" % (window.getRoleName(), window.name))
    found = check_controls(window, FRAME_MONITOR, "frame monitor", FRAME_MONITOR_RELATED)
    if any(c not in found for c in FRAME_MONITOR):
        print("accessibility: frame monitor holds: %r" % sorted(k for k in found if k[1]))
    nodes = []
    walk(window, nodes)
    if not any((n.name or "").startswith("Database: engine.dbc") for n in nodes):
        fail("frame monitor: the database remembered is not named in the window")


def connect(app, main, port, state):
    press(main[("push button", "Connect")][0])
    if not wait_for(lambda: window(app, "Settings") is not None):
        fail("%s: the settings dialog did not open" % state)
        return False
    dialog = window(app, "Settings")
    fields = check_controls(dialog, DIALOG, state + ", settings dialog", related=set(DIALOG))
    if ("combo box", "COM Port") not in fields:
        return False
    port_box = fields[("combo box", "COM Port")][0]
    editor = [port_box.getChildAtIndex(i) for i in range(port_box.childCount)
              if port_box.getChildAtIndex(i).getRoleName() == "text"]
    if not editor:
        fail("%s: the COM Port box has no editable text" % state)
        return False
    editor[0].queryEditableText().setTextContents(port)
    press(index(dialog)[("push button", "Ok")][0])
    return True


def main():
    config_port, operation_port = sys.argv[1], sys.argv[2]
    app = find_app()
    if app is None:
        print("accessibility: the utility did not appear on the accessibility bus")
        return 1

    main_window = check_controls(app, CONTROLS, "not connected", RELATED)
    check_panels(app, ["Not connected"], "not connected")
    check_frame_monitor(app)

    if connect(app, main_window, config_port, "configuration"):
        check_panels(app, ["Connected to " + config_port, "Configuration Mode"], "configuration")
        check_controls(app, CONTROLS, "configuration", RELATED)
        press(index(app)[("push button", "Disconnect")][0])
        check_panels(app, ["Not connected", ""], "after disconnecting")

    if connect(app, index(app), operation_port, "operation"):
        check_panels(app, ["Connected to " + operation_port, "Operation Mode"], "operation")
        check_controls(app, OPERATION_CONTROLS, "operation", RELATED)
        press(index(app)[("push button", "Disconnect")][0])
        check_panels(app, ["Not connected", ""], "after disconnecting")


    print("accessibility: %s" % ("passed" if not failures else "%d failures" % len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
