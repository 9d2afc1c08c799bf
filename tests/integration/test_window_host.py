"""The window host on a virtual X server: it paints what the headless host paints, takes keys
from the X server, and ends cleanly (worker included) on SIGTERM.

Xvfb is started directly (not through xvfb-run) so that the test knows the display number and
can send keys and read pixels on it."""
import ctypes
import json
import os
import shutil
import signal
import struct
import subprocess
import threading
import time
import unittest
import zlib

from harness import BIN, Home

XVFB = shutil.which("Xvfb")
SCREEN = (1280, 900)
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "runtime error:")


def rgb(pixels, order):
    """RGB bytes from 4-byte pixels whose red, green and blue sit at `order`."""
    out = bytearray(len(pixels) // 4 * 3)
    for k, at in enumerate(order):
        out[k::3] = pixels[at::4]
    return bytes(out)


def read_png(path):
    """(width, height, rows of RGB bytes) of an 8-bit RGB or RGBA PNG, as cairo writes them."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat = 8, []
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            width, height, depth, ctype = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and ctype in (2, 6), (depth, ctype)
        elif kind == b"IDAT":
            idat.append(body)
        pos += 12 + n
    raw = zlib.decompress(b"".join(idat))
    bpp = 4 if ctype == 6 else 3
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride if kind else 0):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                c = prev[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line) if bpp == 3 else rgb(line, (0, 1, 2)))
        prev = line
    return width, height, rows


class _XImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + [
        ("data", ctypes.c_void_p)] + [(name, ctypes.c_int) for name in (
            "byte_order", "bitmap_unit", "bitmap_bit_order", "bitmap_pad", "depth",
            "bytes_per_line", "bits_per_pixel")]


def capture(display, x, y, width, height):
    """Rows of RGB bytes read back from the X server (24-bit depth, 32 bits per pixel)."""
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XGetImage.restype = ctypes.POINTER(_XImage)
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                               ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    xlib.XFree.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = xlib.XOpenDisplay(display.encode())
    if not dpy:
        raise AssertionError(f"cannot open {display}")
    try:
        image = xlib.XGetImage(dpy, xlib.XDefaultRootWindow(dpy), x, y, width, height,
                               0xFFFFFFFF, 2)  # ZPixmap
        img = image.contents
        assert img.bits_per_pixel == 32 and img.byte_order == 0, (img.bits_per_pixel,
                                                                   img.byte_order)
        raw = ctypes.string_at(img.data, img.bytes_per_line * img.height)
        xlib.XFree(ctypes.c_void_p(img.data))
        xlib.XFree(ctypes.cast(image, ctypes.c_void_p))
    finally:
        xlib.XCloseDisplay(dpy)
    rows = []
    for row in range(height):
        line = raw[row * img.bytes_per_line:row * img.bytes_per_line + width * 4]
        rows.append(rgb(line, (2, 1, 0)))
    return rows


def differing_pixels(a, b, tolerance=40):
    count = 0
    for ra, rb in zip(a, b):
        if ra == rb:
            continue
        for i in range(0, len(ra), 3):
            if max(abs(ra[i + k] - rb[i + k]) for k in range(3)) > tolerance:
                count += 1
    return count


class Display:
    def __init__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            [XVFB, "-displayfd", str(write), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
             "-nolisten", "tcp"], pass_fds=(write,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            self.proc.kill()
            raise AssertionError("Xvfb did not start")
        self.name = f":{number}"

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


class Window:
    """vexa-mail with a display; stderr's JSON log lines are collected as they come."""

    def __init__(self, display, home, args=()):
        self.display = display
        # No GL at all on this GPU-less display: probing it loads a driver that leaks on unload.
        env = home.env(DISPLAY=display.name, GSK_RENDERER="cairo", GDK_DEBUG="gl-disable",
                       NO_AT_BRIDGE="1", GTK_A11Y="none", VEXA_LOG="debug")
        self.proc = subprocess.Popen(["dbus-run-session", "--", BIN, *args],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     text=True, env=env, start_new_session=True)
        self.stderr, self.events = [], []
        self.changed = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stderr:
            with self.changed:
                self.stderr.append(line)
                if line.startswith("{"):
                    try:
                        self.events.append(json.loads(line))
                    except ValueError:
                        pass
                self.changed.notify_all()

    def wait_log(self, message, timeout=10, **fields):
        def found():
            return next((e for e in self.events if e.get("message") == message and all(
                e.get(k) == v for k, v in fields.items())), None)
        with self.changed:
            if not self.changed.wait_for(lambda: found() or self.proc.poll() is not None,
                                         timeout):
                raise AssertionError(f"no \"{message}\" {fields} within {timeout} s:\n"
                                     + "".join(self.stderr[-20:]))
            event = found()
            if event is None:
                raise AssertionError(f"vexa-mail ended before \"{message}\":\n"
                                     + "".join(self.stderr[-20:]))
            return event

    def xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.display.name)
        return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True,
                              timeout=10, check=True).stdout

    def app_pid(self):
        """vexa-mail runs as a child of dbus-run-session, which does not pass signals on."""
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as f:
                    stat = f.read()
            except OSError:
                continue
            name = stat[stat.index("(") + 1:stat.rindex(")")]
            ppid = int(stat[stat.rindex(")") + 2:].split()[1])
            if ppid == self.proc.pid and name == os.path.basename(BIN)[:15]:
                return int(entry)
        raise AssertionError("vexa-mail is not running")

    def terminate(self, timeout=10):
        os.kill(self.app_pid(), signal.SIGTERM)
        code = self.proc.wait(timeout=timeout)
        self.reader.join(timeout=5)
        return code, "".join(self.stderr)

    def kill(self):
        # The whole session: the app and the bus daemon hold stderr open too.
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait(timeout=10)
        self.reader.join(timeout=5)
        if not self.reader.is_alive():
            self.proc.stderr.close()


@unittest.skipUnless(XVFB, "Xvfb is not installed")
class WindowHostTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = Display()

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def setUp(self):
        self.home = Home()
        self.addCleanup(self.home.cleanup)

    def headless_frame(self, args):
        shot = self.home.path("headless.png")
        subprocess.run([BIN, *args, "--screenshot", shot], env=self.home.env(),
                       capture_output=True, timeout=60, check=True)
        return read_png(shot)

    def start(self, args):
        window = Window(self.display, self.home, args)
        self.addCleanup(window.kill)
        first = window.wait_log("window: first frame", timeout=20)
        return window, first

    def assert_shows(self, window, first, expected):
        width, height, rows = expected
        self.assertEqual((int(first["width"]), int(first["height"])), (width, height))
        wid = window.xdotool("search", "--sync", "--onlyvisible", "--name", "^Mail$").split()[0]
        geometry = dict(line.split("=", 1) for line in
                        window.xdotool("getwindowgeometry", "--shell", wid).split())
        at = (int(geometry["X"]), int(geometry["Y"]))
        # The first frame reaches the screen a moment after it is painted.
        deadline = time.monotonic() + 5
        while True:
            shown = capture(self.display.name, *at, width, height)
            bad = differing_pixels(shown, rows)
            if bad <= width * height // 200 or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        self.assertLessEqual(bad, width * height // 200,
                             "the window does not show what the headless host renders")
        return wid

    def assert_clean_exit(self, window):
        code, stderr = window.terminate()
        self.assertEqual(code, 0, stderr[-3000:])
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, stderr)
        self.assertTrue(any(e.get("message") == "window: closed" for e in window.events))

    def test_scene_window_takes_keys_and_ends_on_sigterm(self):
        expected = self.headless_frame(["--scene", "wide"])
        window, first = self.start(["--scene", "wide"])
        wid = self.assert_shows(window, first, expected)

        window.xdotool("windowfocus", "--sync", wid)
        window.xdotool("key", "Down")
        window.wait_log("window: key", key="Down", pressed="true")
        window.wait_log("window: key", key="Down", pressed="false")
        self.assert_clean_exit(window)

    def test_normal_start_without_accounts_opens_and_closes(self):
        expected = self.headless_frame([])
        window, first = self.start([])
        self.assert_shows(window, first, expected)
        self.assert_clean_exit(window)


if __name__ == "__main__":
    unittest.main()
