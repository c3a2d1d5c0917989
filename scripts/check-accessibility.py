#!/usr/bin/python3
"""Checks with an AT-SPI reader that every control of the main window can be found by role and
name, as a screen reader would find it. Needs xvfb, dbus-x11, at-spi2-core and python3-pyatspi.
Usage: scripts/check-accessibility.sh BUILD_DIR   (starts Xvfb and a session bus itself)"""
import sys
import time

import pyatspi

EXPECTED = [
    # (role, name)
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
    ("label", "Status panel 0"),
]


def walk(node, found, depth=0):
    if node is None or depth > 40:
        return
    try:
        role = node.getRoleName()
        name = node.name
    except Exception:
        return
    found.add((role, name))
    for i in range(node.childCount):
        try:
            walk(node.getChildAtIndex(i), found, depth + 1)
        except Exception:
            pass


def main():
    deadline = time.time() + 30
    app = None
    while time.time() < deadline and app is None:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            child = desktop.getChildAtIndex(i)
            if child is not None and "3316" in (child.name or ""):
                app = child
        if app is None:
            time.sleep(0.5)
    if app is None:
        print("accessibility: the utility did not appear on the accessibility bus")
        return 1
    found = set()
    walk(app, found)
    missing = [e for e in EXPECTED if e not in found]
    for role, name in missing:
        print("accessibility: not found: %s %r" % (role, name))
    print("accessibility: %d of %d controls found by role and name" % (len(EXPECTED) - len(missing), len(EXPECTED)))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
