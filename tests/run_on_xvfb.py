#!/usr/bin/env python3
"""Runs a test program on an X server of its own (Xvfb) of a given screen size, through Qt's X11
platform with the system's real fonts, where the offscreen platform would keep every window and
tip on a screen it never bounds.

    run_on_xvfb.py WIDTHxHEIGHT [--panel PIXELS] PROGRAM [ARGUMENTS...]

--panel keeps that many pixels at the screen's foot out of its work area, as a desktop's panel
does. Skipped (exit 77) where Xvfb is not installed.
"""

import os
import shutil
import subprocess
import sys

SKIPPED = 77


def start_xvfb(screen):
    """Starts Xvfb with one screen (WIDTHxHEIGHTxDEPTH) on a free display: its process and the
    display's name, or (None, None) when it does not start."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        # Without -noreset the server starts over when its last client leaves, and writes its
        # number again.
        ["Xvfb", "-displayfd", str(write_end), "-noreset", "-screen", "0", screen, "-nolisten", "tcp"],
        pass_fds=[write_end],
        stderr=subprocess.DEVNULL,
    )
    os.close(write_end)
    # The read end stays open for the server's life: a write into a closed pipe would end it.
    number = os.read(read_end, 16).decode().strip()
    if not number:
        server.kill()
        return None, None
    return server, ":" + number


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__)
        return 2
    screen = args.pop(0)
    panel = 0
    if args[0] == "--panel":
        panel = int(args[1])
        args = args[2:]
    if not shutil.which("Xvfb"):
        print("skipped: Xvfb is not installed")
        return SKIPPED
    width, height = (int(n) for n in screen.split("x"))
    server, display = start_xvfb(f"{screen}x24")
    if server is None:
        print("skipped: Xvfb did not start")
        return SKIPPED
    try:
        if panel:
            # What a window manager publishes for its panels; Qt takes the screen's available
            # geometry from it.
            for prop, fmt, value in (
                ("_NET_SUPPORTED", "32a", "_NET_WORKAREA"),
                ("_NET_WORKAREA", "32c", f"0,0,{width},{height - panel}"),
            ):
                subprocess.run(
                    ["xprop", "-display", display, "-root", "-format", prop, fmt, "-set", prop, value], check=True
                )
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
        return subprocess.run(args, env=env).returncode
    finally:
        server.terminate()
        server.wait(10)


if __name__ == "__main__":
    sys.exit(main())
