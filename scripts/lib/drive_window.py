"""Drives the installation window under the X display with real input (xdotool)
and photographs it (imagemagick). Used by scripts/run.sh without a display and
by the window's end-to-end tests.

    drive_window.py --out DIR [--pid PID]    waits for the window, saves the
        first screen, clicks Install, saves the progress screen, waits for the end
"""
import argparse
import os
import subprocess
import sys
import time

WINDOW_TITLE = "^Tarvik$"
# Logical size of the window and the points clicked, at scale 1.
WINDOW_WIDTH = 802
INSTALL_POINT = (120, 355)
CLOSE_POINT = (778, 22)
MINIMIZE_POINT = (734, 22)


def run(*command):
    return subprocess.run(list(command), capture_output=True, text=True).stdout.strip()


def find_window(timeout_s=120, title=WINDOW_TITLE):
    """The visible X window with that title, or None."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        found = run("xdotool", "search", "--onlyvisible", "--name", title).split()
        if found:
            return found[-1]
        time.sleep(0.25)
    return None


def is_visible(window):
    return window in run("xdotool", "search", "--onlyvisible", "--name", ".").split()


def geometry(window):
    """(x, y, width, height) on the screen."""
    values = {}
    for line in run("xdotool", "getwindowgeometry", "--shell", window).splitlines():
        key, _, value = line.partition("=")
        values[key] = int(value) if value.lstrip("-").isdigit() else value
    return values.get("X", 0), values.get("Y", 0), values.get("WIDTH", 0), values.get("HEIGHT", 0)


def scale_of(window):
    width = geometry(window)[2]
    return max(1.0, round(width / WINDOW_WIDTH * 4) / 4) if width else 1.0


def click(window, point):
    scale = scale_of(window)
    x, y = int(point[0] * scale), int(point[1] * scale)
    subprocess.run(["xdotool", "mousemove", "--sync", "--window", window, str(x), str(y)], check=False)
    time.sleep(0.2)
    subprocess.run(["xdotool", "click", "1"], check=False)


def key(window, name):
    subprocess.run(["xdotool", "windowactivate", "--sync", window], check=False, capture_output=True)
    subprocess.run(["xdotool", "key", "--window", window, name], check=False)


def drag(window, start, offset):
    """Drags the window by its background from `start` (logical) by `offset` pixels."""
    scale = scale_of(window)
    x, y = int(start[0] * scale), int(start[1] * scale)
    subprocess.run(["xdotool", "mousemove", "--sync", "--window", window, str(x), str(y)], check=False)
    subprocess.run(["xdotool", "mousedown", "1"], check=False)
    for step in range(1, 6):
        subprocess.run(["xdotool", "mousemove_relative", "--sync", "--", str(offset[0] // 5), str(offset[1] // 5)],
                       check=False)
        time.sleep(0.05)
    subprocess.run(["xdotool", "mouseup", "1"], check=False)


def screenshot(window, path, margin=24):
    """The window and a margin around it (where its shadow falls)."""
    x, y, width, height = geometry(window)
    left, top = max(0, x - margin), max(0, y - margin)
    subprocess.run(["import", "-window", "root", "-crop",
                    f"{width + 2 * margin}x{height + 2 * margin}+{left}+{top}", "+repage", path], check=False)
    return path


def process_alive(pid):
    if not pid:
        return True
    try:
        os.kill(pid, 0)
        return True
    except OSError:
        return False


def wait_for_end(window, pid, timeout_s):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline and process_alive(pid) and is_visible(window):
        time.sleep(0.25)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--pid", type=int, default=0)
    parser.add_argument("--timeout", type=int, default=240)
    options = parser.parse_args()
    os.makedirs(options.out, exist_ok=True)
    for name in os.listdir(options.out):
        if name.endswith(".png"):
            os.remove(os.path.join(options.out, name))

    window = find_window(options.timeout)
    if not window:
        print("the installation window did not appear", file=sys.stderr)
        return 1
    time.sleep(1.5)  # painted, shadow in place
    shots = [screenshot(window, os.path.join(options.out, "1-first-screen.png"))]
    click(window, INSTALL_POINT)
    time.sleep(2.5)
    if is_visible(window):
        shots.append(screenshot(window, os.path.join(options.out, "2-progress-screen.png")))
        time.sleep(2.5)
        if is_visible(window):
            shots.append(screenshot(window, os.path.join(options.out, "3-progress-screen-later.png")))
    wait_for_end(window, options.pid, options.timeout)
    print("Screenshots:")
    for shot in shots:
        print("  " + os.path.abspath(shot))
    return 0


if __name__ == "__main__":
    sys.exit(main())
