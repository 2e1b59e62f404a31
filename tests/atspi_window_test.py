#!/usr/bin/env python3
"""The window read through AT-SPI, the desktop's accessibility bus, as a screen reader reads it.

The program runs on its own X server (Xvfb) and session bus (dbus-run-session), and this test
walks what the bus shows of it: in basic mode, then, with the advance-setting password typed in
through the bus and the OK button pressed, on each of the twelve pages reached by pressing its
page tab. Every input shown must have a name, and no two inputs of one mode may share one. A
wrong password first shows that a status text reaches the bus as it appears, in the window's one
status bar.

It needs Xvfb, dbus-run-session, the AT-SPI bus launcher and Python's AT-SPI bindings
(python3-pyatspi, for the system's Python). Where one is missing the test is skipped (exit 77).

    atspi_window_test.py PROGRAM
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from run_on_xvfb import start_xvfb

SKIPPED = 77
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
SYSTEM_PYTHON = "/usr/bin/python3"
PASSWORD = "M84Service"
WRONG_PASSWORD_STATUS = "Advance setting password error"
PAGE_COUNT = 12
WAIT_S = 20.0


def skip(why):
    print(f"skipped: {why}")
    sys.exit(SKIPPED)


def has_pyatspi(python):
    probe = subprocess.run([python, "-c", "import pyatspi"], capture_output=True)
    return probe.returncode == 0


def outer(program):
    """Finds what the test needs, then runs it again on a session bus of its own."""
    for tool in ("Xvfb", "dbus-run-session"):
        if not shutil.which(tool):
            skip(f"{tool} is not installed")
    if not os.path.exists(LAUNCHER):
        skip("the AT-SPI bus launcher (at-spi2-core) is not installed")
    python = next((p for p in (sys.executable, SYSTEM_PYTHON) if os.path.exists(p) and has_pyatspi(p)), None)
    if python is None:
        skip("Python's AT-SPI bindings (python3-pyatspi) are not installed")
    run = subprocess.run(["dbus-run-session", "--", python, os.path.abspath(__file__), "--inner", program])
    return run.returncode


def start_x_server():
    server, display = start_xvfb("1280x1024x24")
    if server is None:
        skip("Xvfb did not start")
    return server, display


def wait_for(what, find):
    deadline = time.monotonic() + WAIT_S
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.1)
    raise AssertionError(f"no {what} after {WAIT_S} s")


def inner(program):
    import pyatspi  # the bus is there now: importing connects to it

    inputs_roles = {
        pyatspi.ROLE_TEXT,
        pyatspi.ROLE_ENTRY,
        pyatspi.ROLE_PASSWORD_TEXT,
        pyatspi.ROLE_CHECK_BOX,
        pyatspi.ROLE_COMBO_BOX,
        pyatspi.ROLE_SPIN_BUTTON,
        pyatspi.ROLE_RADIO_BUTTON,
        pyatspi.ROLE_SLIDER,
    }

    def shown(node):
        return node.getState().contains(pyatspi.STATE_SHOWING)

    def walk(node, keep, found):
        """Every node shown under node that keep accepts; not into what it accepts."""
        if node is None or not shown(node):
            return found
        if keep(node):
            found.append(node)
            return found
        for i in range(node.childCount):
            walk(node.getChildAtIndex(i), keep, found)
        return found

    def inputs(window):
        return walk(window, lambda n: n.getRole() in inputs_roles, [])

    failures = []

    def check_names(mode, found):
        names = {}
        for node in found:
            name = node.name.strip()
            if not name:
                failures.append(f"{mode}: a {node.getRoleName()} has no name")
                continue
            if name in names:
                failures.append(f"{mode}: two inputs are called '{name}'")
            names[name] = node
        print(f"{mode}: {len(found)} inputs, {len(names)} names")

    server, display = start_x_server()
    home = tempfile.mkdtemp(prefix="m84-atspi-")
    runtime = os.path.join(home, "runtime")
    os.makedirs(runtime, mode=0o700)
    env = dict(
        os.environ,
        DISPLAY=display,
        QT_QPA_PLATFORM="xcb",
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
        HOME=home,
        XDG_RUNTIME_DIR=runtime,
        XDG_CONFIG_HOME=os.path.join(home, "config"),
        XDG_DATA_HOME=os.path.join(home, "data"),
        M84DPT_PORT="/nonexistent/port",
        M84DPT_NO_HISTORY="1",
    )
    app = subprocess.Popen([program], env=env)
    try:
        desktop = pyatspi.Registry.getDesktop(0)

        def our_window():
            for i in range(desktop.childCount):
                application = desktop.getChildAtIndex(i)
                if application is not None and application.get_process_id() == app.pid and application.childCount:
                    window = application.getChildAtIndex(0)
                    if window is not None and shown(window):
                        return window
            return None

        window = wait_for("window on the bus", our_window)
        check_names("basic mode", wait_for("inputs", lambda: inputs(window)))

        password = walk(window, lambda n: n.getRole() == pyatspi.ROLE_PASSWORD_TEXT, [])
        assert len(password) == 1, f"{len(password)} password edits"
        ok = walk(window, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "OK", [])
        assert len(ok) == 1, f"{len(ok)} OK buttons"

        # The status line is the window's one status bar, which a screen reader reads on request.
        bars = walk(window, lambda n: n.getRole() == pyatspi.ROLE_STATUS_BAR, [])
        assert len(bars) == 1, f"{len(bars)} status bars"
        status_bar = bars[0]

        # A wrong password first: its status text must reach the bus as the new name of a pane of
        # the status bar.
        from gi.repository import GLib

        names_heard = []

        def heard(event):
            source = event.source
            if source is not None and source.getRole() == pyatspi.ROLE_LABEL and source.parent == status_bar:
                names_heard.append(source.name)

        pyatspi.Registry.registerEventListener(heard, "object:property-change:accessible-name")
        password[0].queryEditableText().setTextContents("wrong")
        ok[0].queryAction().doAction(0)

        def heard_error():
            while GLib.MainContext.default().iteration(False):
                pass
            return WRONG_PASSWORD_STATUS in names_heard

        wait_for(f"'{WRONG_PASSWORD_STATUS}' heard", heard_error)
        pyatspi.Registry.deregisterEventListener(heard, "object:property-change:accessible-name")

        password[0].queryEditableText().setTextContents(PASSWORD)
        ok[0].queryAction().doAction(0)

        tab_list = wait_for(
            "page tab list", lambda: walk(window, lambda n: n.getRole() == pyatspi.ROLE_PAGE_TAB_LIST, [])
        )[0]
        tabs = [tab_list.getChildAtIndex(i) for i in range(tab_list.childCount)]
        tabs = [t for t in tabs if t is not None and t.getRole() == pyatspi.ROLE_PAGE_TAB]
        assert len(tabs) == PAGE_COUNT, f"{len(tabs)} page tabs"

        advanced = []
        for tab in tabs:
            action = tab.queryAction()
            actions = [action.getName(i) for i in range(action.nActions)]
            action.doAction(0)
            wait_for(f"tab '{tab.name}' selected", lambda: tab.getState().contains(pyatspi.STATE_SELECTED))
            shown_inputs = inputs(window)
            print(f"page '{tab.name}' ({', '.join(actions)}): {len(shown_inputs)} inputs")
            advanced.extend(shown_inputs)  # a page's inputs are shown with it only
        check_names("advanced mode", advanced)
    finally:
        app.terminate()
        app.wait(10)
        server.terminate()
        server.wait(10)
        shutil.rmtree(home, ignore_errors=True)

    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--inner":
        return inner(sys.argv[2])
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    return outer(sys.argv[1])


if __name__ == "__main__":
    sys.exit(main())
