#!/usr/bin/env python3
"""The window's start and memory beside two other Qt desktop programs, in one run on one Xvfb.

For each program, started alone in a fresh home on a fresh 1280x1024 Xvfb with a black root:
  first frame  seconds from exec until the first pixel of its window is drawn (the window's area
               stays black from mapping until a frame reaches it; polled every 5 ms over X11);
  idle PSS     the program and its children (smaps_rollup) 10 s after start, on its first page;
and for the center only, after a click on "建议反馈" (a portal page of the demo site):
  engine       seconds from the click until libQt6WebEngineCore is mapped (none when it was mapped
               already at start);
  page drawn   seconds from the click until the window last changed in the 10 s after it (a
               grid of its pixels read every 50 ms): the page drawn and settled;
  page PSS     the program and its children (the web engine's processes) 10 s after the click.

Runs the center against the demonstration site of scripts/demo, which it starts itself.
Usage: bench/window/compare.py [--build DIR] [LABEL=CENTER_EXECUTABLE ...]
  By default the center of the build folder (build/bin/kestryn-center). keepassxc and
  plasma-discover are measured where installed and skipped otherwise.
"""
import argparse
import contextlib
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCREEN = (1280, 1024)
IDLE_SECONDS = 10
POLL_SECONDS = 0.005
# Reading the whole window costs more than a poll of its first frame.
PAGE_POLL_SECONDS = 0.05
# The sidebar item "建议反馈" of the center's window, from the window's top left corner.
FEEDBACK_ITEM = (76, 276)


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class Display:
    """Just enough of Xlib: the top-level windows, a pixel test and a synthetic click."""

    IS_VIEWABLE = 2
    Z_PIXMAP = 2

    def __init__(self, name):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
        self.x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                  ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.c_void_p
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                       ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                       ctypes.c_ulong, ctypes.c_int]
        self.x11.XGetPixel.restype = ctypes.c_ulong
        self.x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x11.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint,
                                                   ctypes.c_int, ctypes.c_ulong]
        # A window may go away between listing and asking for it; Xlib's default handler would
        # end the process for that.
        handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self.ignore_errors = handler_type(lambda display, event: 0)
        self.x11.XSetErrorHandler(self.ignore_errors)
        self.display = self.x11.XOpenDisplay(name.encode())
        if not self.display:
            raise RuntimeError("cannot open display " + name)
        self.root = self.x11.XDefaultRootWindow(self.display)

    def largest_viewable_window(self):
        """(x, y, width, height) of the largest mapped top-level window, or None."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.x11.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                            ctypes.byref(children), ctypes.byref(count))
        best = None
        for index in range(count.value):
            attributes = XWindowAttributes()
            if not self.x11.XGetWindowAttributes(self.display, children[index],
                                                 ctypes.byref(attributes)):
                continue
            if attributes.map_state != self.IS_VIEWABLE or attributes.width < 200:
                continue
            if best is None or attributes.width * attributes.height > best[2] * best[3]:
                best = (attributes.x, attributes.y, attributes.width, attributes.height)
        if children:
            self.x11.XFree(children)
        return best

    def pixels(self, window):
        """The pixels of a grid over the window, every 16th of each row and column."""
        x, y, width, height = window
        image = self.x11.XGetImage(self.display, self.root, x, y, width, height, 0xFFFFFF,
                                   self.Z_PIXMAP)
        if not image:
            return ()
        try:
            return tuple(self.x11.XGetPixel(image, column, row)
                         for row in range(0, height, 16) for column in range(0, width, 16))
        finally:
            self.x11.XDestroyImage(image)

    def drawn(self, window):
        """Whether any pixel of the grid is no longer the black root."""
        return any(pixel != 0 for pixel in self.pixels(window))

    def click(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.display, -1, x, y, 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 0, 0)
        self.x11.XFlush(self.display)


def tree_rollup_kib(pid, fields=("Pss",)):
    """The sums of smaps_rollup's FIELDS ("Pss", "Rss", ...) over the process and all its
    descendants, in KiB."""
    totals = dict.fromkeys(fields, 0)
    pending = [pid]
    while pending:
        current = pending.pop()
        try:
            with open(f"/proc/{current}/smaps_rollup") as rollup:
                for line in rollup:
                    field, _, value = line.partition(":")
                    if field in totals:
                        totals[field] += int(value.split()[0])
            with open(f"/proc/{current}/task/{current}/children") as children:
                pending.extend(int(child) for child in children.read().split())
        except (FileNotFoundError, ProcessLookupError):
            continue
    return totals


def tree_pss_kib(pid):
    """PSS of the process and all its descendants, in KiB."""
    return tree_rollup_kib(pid)["Pss"]


def engine_mapped(pid):
    with open(f"/proc/{pid}/maps") as maps:
        return "libQt6WebEngineCore.so" in maps.read()


def start_xvfb():
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                               f"{SCREEN[0]}x{SCREEN[1]}x24", "-br", "-nolisten", "tcp"],
                              pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as pipe:
        number = pipe.readline().strip()
    return server, ":" + number


@contextlib.contextmanager
def session_bus():
    """A session bus, as a desktop has, in DBUS_SESSION_BUS_ADDRESS while the block runs."""
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                           stdout=subprocess.PIPE, text=True)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
    try:
        yield
    finally:
        bus.terminate()
        bus.wait()


def wait_until(condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(POLL_SECONDS)
    return None


def measure(label, command, opens_portal, home_root):
    server, name = start_xvfb()
    display = Display(name)
    home = os.path.join(home_root, label)
    shutil.rmtree(home, ignore_errors=True)
    folders = {"HOME": "home", "XDG_CONFIG_HOME": "config", "XDG_DATA_HOME": "data",
               "XDG_CACHE_HOME": "cache"}
    environment = dict(os.environ, DISPLAY=name, QT_QPA_PLATFORM="xcb")
    for variable, folder in folders.items():
        environment[variable] = os.path.join(home, folder)
        # The center starts from a copy of the demo's home, with its installed products and the
        # trust of the demo site; the other programs from an empty one.
        if opens_portal and variable in os.environ:
            shutil.copytree(os.environ[variable], environment[variable], symlinks=True)
        else:
            os.makedirs(environment[variable])
    started = time.monotonic()
    program = subprocess.Popen(command, env=environment, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    row = {"label": label}
    try:
        window = wait_until(lambda: display.largest_viewable_window(), 30)
        if window and wait_until(lambda: display.drawn(display.largest_viewable_window()), 30):
            row["first frame"] = time.monotonic() - started
        time.sleep(max(0.0, started + IDLE_SECONDS - time.monotonic()))
        row["idle PSS"] = tree_pss_kib(program.pid)
        if opens_portal and window:
            row["engine at start"] = engine_mapped(program.pid)
            clicked = time.monotonic()
            display.click(window[0] + FEEDBACK_ITEM[0], window[1] + FEEDBACK_ITEM[1])
            # The page is drawn when the window last changed before it stayed still until the
            # end of the idle time; a page that never settles counts as drawn at that end.
            last, changed, engine = display.pixels(window), clicked, None
            while time.monotonic() < clicked + IDLE_SECONDS:
                time.sleep(PAGE_POLL_SECONDS)
                now = display.pixels(window)
                if now != last:
                    last, changed = now, time.monotonic()
                if engine is None and not row["engine at start"] and engine_mapped(program.pid):
                    engine = time.monotonic() - clicked
            if engine is not None:
                row["engine"] = engine
            row["page drawn"] = changed - clicked
            row["page PSS"] = tree_pss_kib(program.pid)
    finally:
        os.killpg(program.pid, signal.SIGTERM)
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(program.pid, signal.SIGKILL)
            program.wait()
        server.terminate()
        server.wait()
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build"))
    parser.add_argument("centers", nargs="*", metavar="LABEL=CENTER_EXECUTABLE")
    arguments = parser.parse_args()
    build = os.path.abspath(arguments.build)
    centers = arguments.centers or ["kestryn-center=" + os.path.join(build, "bin",
                                                                      "kestryn-center")]
    if "KESTRYN_CA_FILE" not in os.environ:
        # The demo site serves the maker's pages; the measurement runs inside its environment.
        demo = os.path.join(build, "bench-window-demo")
        os.execv(os.path.join(REPO, "scripts", "demo"),
                 [os.path.join(REPO, "scripts", "demo"), "--bin", os.path.join(build, "bin"),
                  "--dir", demo, sys.executable, os.path.abspath(__file__), "--build", build]
                 + centers)

    programs = [(label, [path], True) for label, path in (c.split("=", 1) for c in centers)]
    for name in ("keepassxc", "plasma-discover"):
        if shutil.which(name):
            programs.append((name, [name], False))
        else:
            print(f"{name}: not installed, skipped", file=sys.stderr)

    home_root = tempfile.mkdtemp(prefix="kestryn-bench-window-")
    # One session bus for every program; Discover does not start without one.
    try:
        with session_bus():
            rows = [measure(label, command, portal, home_root)
                    for label, command, portal in programs]
    finally:
        shutil.rmtree(home_root, ignore_errors=True)

    def cell(row, key, form):
        return form(row[key]) if key in row else "-"

    print(f"{'program':<24} {'first frame':>11} {'idle PSS':>10} {'engine at start':>15} "
          f"{'click to engine':>15} {'page drawn':>10} {'page PSS':>10}")
    for row in rows:
        print(f"{row['label']:<24} {cell(row, 'first frame', lambda s: f'{s:.3f} s'):>11} "
              f"{cell(row, 'idle PSS', lambda k: f'{k / 1024:.0f} MB'):>10} "
              f"{cell(row, 'engine at start', lambda b: 'yes' if b else 'no'):>15} "
              f"{cell(row, 'engine', lambda s: f'{s:.3f} s'):>15} "
              f"{cell(row, 'page drawn', lambda s: f'{s:.3f} s'):>10} "
              f"{cell(row, 'page PSS', lambda k: f'{k / 1024:.0f} MB'):>10}")


if __name__ == "__main__":
    main()
