#!/usr/bin/env python3
"""The window's memory while it updates a 1 GiB product, clicked from the product's card.

In a fresh home with 回响工坊 1.0 (the 1 GiB, 2,000-file bundle of
bench/installer/differential_compare.sh) in ~/Applications, the center is started alone on a
fresh 1280x1024 Xvfb, against that bench's signed catalog offering 2.0 at 100 Mbit/s on loopback.
When its first page has settled, the update button of 回响工坊's card is clicked, and the PSS and
RSS of the center and its children (smaps_rollup) are read every 0.5 s from before the click until
the installed bundle's Info.plist says 2.0 and the window is idle (its pixels unchanged and the
center below 5% of a core for 5 s), or for 10 minutes at most:
  before    PSS just before the click;
  peak      the highest PSS and RSS of the samples, PSS's anonymous and file-backed parts at
            their own peaks (a mapped package's pages are file-backed and the kernel may drop
            them), and the center's own VmHWM at the end;
  median    PSS of the samples from the click until 2.0 is installed;
  settled   PSS once the window is idle;
  update    seconds from the click until Info.plist says 2.0, and until the window is idle;
  served    the TLS bytes kestryn-test-server wrote from the click to the end.
Without --differential the center's "Downloads" is empty and the window takes the whole-package
route; with it, 1.0's package is there and the window takes the differential route.
Usage: bench/window/update_memory.py [--build DIR] [--differential] [--screenshots FOLDER]
  By default the programs of build/bin. The inputs are written once into
  $KESTRYN_BENCH_DIFFERENTIAL (default /tmp/kestryn-bench-differential) and reused. --screenshots
  keeps PNGs of the window before the click and at the end. The home stays in run/window of the
  inputs until the next run, beside the samples (run/window-samples.tsv) and the center's output
  (run/window.log). Needs python3, Xvfb, libXtst and dbus-daemon (Debian packages xvfb, libxtst6
  and dbus-daemon).
"""
import argparse
import ctypes
import os
import plistlib
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import time
import zlib

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
import compare  # noqa: E402

REPO = compare.REPO
SAMPLE_SECONDS = 0.5
FIELDS = ("Pss", "Rss", "Pss_Anon", "Pss_File", "Pss_Shmem")
LIMIT_SECONDS = 600
START_SECONDS = 10
# How long the first page and the finished window stay still to count as idle.
STILL_SECONDS = 5
IDLE_CPU_SHARE = 0.05
# The update button of 回响工坊's card on the first page, from the window's top left corner.
UPDATE_BUTTON = (694, 604)


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


def save_png(display, window, path):
    """The window as a PNG, from the 32-bit BGRX image of the 24-bit screen."""
    x, y, width, height = window
    image = display.x11.XGetImage(display.display, display.root, x, y, width, height, 0xFFFFFF,
                                  display.Z_PIXMAP)
    if not image:
        return
    try:
        header = XImage.from_address(image)
        data = ctypes.string_at(header.data, header.bytes_per_line * height)
        rows = bytearray()
        for row in range(height):
            line = data[row * header.bytes_per_line:row * header.bytes_per_line + width * 4]
            rgb = bytearray(width * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
            rows += b"\0" + rgb
    finally:
        display.x11.XDestroyImage(image)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body)))

    with open(path, "wb") as file:
        file.write(b"\x89PNG\r\n\x1a\n"
                   + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                   + chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))


def cpu_seconds(pid):
    """User and system time of the process, all its threads, in seconds."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def peak_rss_kib(pid):
    """VmHWM of the process, or None once it has ended."""
    try:
        with open(f"/proc/{pid}/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
    except (FileNotFoundError, ProcessLookupError, StopIteration):
        return None


def served_bytes(server):
    with open(f"/proc/{server}/io") as io:
        return next(int(line.split()[1]) for line in io if line.startswith("wchar:"))


def installed_version(bundle):
    """CFBundleShortVersionString of the bundle, or None while it is being replaced."""
    try:
        with open(os.path.join(bundle, "Contents", "Info.plist"), "rb") as file:
            return plistlib.load(file).get("CFBundleShortVersionString")
    except (OSError, plistlib.InvalidFileException):
        return None


class Stillness:
    """Whether the window's pixels and the center's CPU time stayed still for STILL_SECONDS."""

    def __init__(self, display, window, pid):
        self.display, self.window, self.pid = display, window, pid
        self.reset()

    def reset(self):
        self.since = time.monotonic()
        self.pixels = self.display.pixels(self.window)
        self.cpu = cpu_seconds(self.pid)

    def still(self):
        now = time.monotonic()
        pixels = self.display.pixels(self.window)
        cpu = cpu_seconds(self.pid)
        if pixels != self.pixels or cpu - self.cpu > IDLE_CPU_SHARE * max(now - self.since, 1):
            self.since, self.pixels, self.cpu = now, pixels, cpu
            return False
        return now - self.since >= STILL_SECONDS


def make_home(root, inputs, app, differential):
    """1.0 installed from its bundle and, for the differential route, its package in the center's
    "Downloads"; the writes settle and the packages are in the page cache."""
    shutil.rmtree(root, ignore_errors=True)
    folders = {"HOME": "home", "XDG_CONFIG_HOME": "config", "XDG_DATA_HOME": "data",
               "XDG_CACHE_HOME": "cache", "TMPDIR": "tmp", "XDG_RUNTIME_DIR": "runtime"}
    environment = {variable: os.path.join(root, folder) for variable, folder in folders.items()}
    for path in environment.values():
        os.makedirs(path, mode=0o700)
    applications = os.path.join(environment["HOME"], "Applications")
    os.makedirs(applications)
    subprocess.run(["cp", "-a", os.path.join(inputs, "bundles", "1.0", app), applications],
                   check=True)
    packages = [os.path.join(inputs, "packages", "audio-2.0.zip")]
    if differential:
        downloads = os.path.join(environment["XDG_DATA_HOME"], "KESTRYN Center", "Downloads")
        os.makedirs(downloads)
        old = os.path.join(inputs, "packages", "audio-1.0.zip")
        shutil.copy(old, downloads)
        packages.append(old)
    os.sync()
    for package in packages:
        with open(package, "rb") as file:
            while file.read(1 << 24):
                pass
    return environment, os.path.join(applications, app)


def measure(center, inputs, app, server, differential, screenshots):
    home, bundle = make_home(os.path.join(inputs, "run", "window"), inputs, app, differential)
    xvfb, name = compare.start_xvfb()
    display = compare.Display(name)
    environment = dict(os.environ, DISPLAY=name, QT_QPA_PLATFORM="xcb", **home)
    log = open(os.path.join(inputs, "run", "window.log"), "wb")
    started = time.monotonic()
    program = subprocess.Popen([center], env=environment, stdout=log, stderr=log,
                               start_new_session=True)
    samples = []  # (seconds since the click, {field: KiB})
    result = {}
    try:
        window = compare.wait_until(lambda: display.largest_viewable_window(), 30)
        if not window:
            raise SystemExit("the center opened no window; see " + log.name)
        # The first page, with the catalog's 2.0 on the card, settled.
        stillness = Stillness(display, window, program.pid)
        deadline = started + 60
        while not (time.monotonic() >= started + START_SECONDS and stillness.still()):
            if time.monotonic() > deadline:
                raise SystemExit("the first page did not settle within 60 s")
            time.sleep(SAMPLE_SECONDS)
        if screenshots:
            save_png(display, window, os.path.join(screenshots, "before.png"))
        memory = compare.tree_rollup_kib(program.pid, FIELDS)
        result["before"] = memory["Pss"]
        sent = served_bytes(server)
        clicked = time.monotonic()
        samples.append((0.0, memory))
        display.click(window[0] + UPDATE_BUTTON[0], window[1] + UPDATE_BUTTON[1])
        stillness.reset()
        while True:
            time.sleep(max(0.0, clicked + len(samples) * SAMPLE_SECONDS - time.monotonic()))
            now = time.monotonic() - clicked
            memory = compare.tree_rollup_kib(program.pid, FIELDS)
            samples.append((now, memory))
            if "installed" not in result and installed_version(bundle) == "2.0":
                result["installed"] = now
            idle = stillness.still()
            if "installed" in result and idle:
                result["idle"] = now
                break
            if now > 30 and "installed" not in result and served_bytes(server) - sent < 1 << 20:
                raise SystemExit("the click did not start the update: nothing was fetched")
            if program.poll() is not None:
                print(f"the center ended {now:.1f} s after the click; see {log.name}",
                      file=sys.stderr)
                break
            if now > LIMIT_SECONDS:
                break
        result["settled"] = samples[-1][1]["Pss"]
        result["served"] = served_bytes(server) - sent
        result["hwm"] = peak_rss_kib(program.pid)
        if screenshots:
            save_png(display, window, os.path.join(screenshots, "after.png"))
    finally:
        os.killpg(program.pid, signal.SIGTERM)
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(program.pid, signal.SIGKILL)
            program.wait()
        log.close()
        xvfb.terminate()
        xvfb.wait()
    end = result.get("installed", samples[-1][0])
    during = [memory["Pss"] for seconds, memory in samples if 0 < seconds <= end]
    result["median"] = statistics.median(during) if during else result["settled"]
    result["peaks"] = {field: max(memory[field] for _, memory in samples) for field in FIELDS}
    result["samples"] = samples
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build"))
    parser.add_argument("--differential", action="store_true")
    parser.add_argument("--screenshots", metavar="FOLDER")
    arguments = parser.parse_args()
    build = os.path.abspath(arguments.build)
    if "KESTRYN_BENCH_SERVER" not in os.environ:
        # The installer bench makes the inputs and serves its site while this runs inside it.
        script = os.path.join(REPO, "bench", "installer", "differential_compare.sh")
        os.execv(script, [script, build, "--", sys.executable, os.path.abspath(__file__)]
                 + sys.argv[1:])

    screenshots = arguments.screenshots and os.path.abspath(arguments.screenshots)
    if screenshots:
        os.makedirs(screenshots, exist_ok=True)
    inputs = os.environ["KESTRYN_BENCH_INPUTS"]
    center = os.path.join(os.environ["KESTRYN_BENCH_BIN"], "kestryn-center")
    print(f"== load before: {open('/proc/loadavg').read().strip()}", file=sys.stderr)
    with compare.session_bus():
        result = measure(center, inputs, os.environ["KESTRYN_BENCH_APP"],
                         int(os.environ["KESTRYN_BENCH_SERVER"]), arguments.differential,
                         screenshots)
    print(f"== load after: {open('/proc/loadavg').read().strip()}", file=sys.stderr)
    with open(os.path.join(inputs, "run", "window-samples.tsv"), "w") as samples:
        samples.write("\t".join(("seconds",) + tuple(f.lower() + "_kib" for f in FIELDS)) + "\n")
        for seconds, memory in result["samples"]:
            samples.write("\t".join([f"{seconds:.2f}"] + [str(memory[f]) for f in FIELDS]) + "\n")

    def mb(kib):
        return f"{kib / 1024:.0f} MB"

    route = "differential" if arguments.differential else "whole package"
    print(f"route: {route}; {len(result['samples'])} samples every {SAMPLE_SECONDS} s")
    print(f"{'PSS before click':<28} {mb(result['before']):>10}")
    peaks = result["peaks"]
    print(f"{'PSS peak':<28} {mb(peaks['Pss']):>10}")
    print(f"{'  anonymous part, its peak':<28} {mb(peaks['Pss_Anon']):>10}")
    print(f"{'  file-backed part, its peak':<28} {mb(peaks['Pss_File']):>10}")
    print(f"{'  shared memory, its peak':<28} {mb(peaks['Pss_Shmem']):>10}")
    print(f"{'PSS median during update':<28} {mb(result['median']):>10}")
    print(f"{'PSS settled':<28} {mb(result['settled']):>10}")
    print(f"{'RSS peak (tree, sampled)':<28} {mb(peaks['Rss']):>10}")
    print(f"{'VmHWM of the center':<28} {mb(result['hwm']) if result['hwm'] else '-':>10}")
    for label, key in (("click to 2.0 installed", "installed"), ("click to idle", "idle")):
        print(f"{label:<28} {f'{result[key]:.1f} s' if key in result else 'not reached':>10}")
    print(f"{'bytes served':<28} {result['served']:>10}")
    if "idle" not in result:
        sys.exit(1)


if __name__ == "__main__":
    main()
