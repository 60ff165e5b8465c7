#!/usr/bin/env python3
"""End-to-end tests of the progress dialog under Wine, on a private Xvfb.

One session for the whole class: a quiet Wine prefix of its own, the utility's
Run value set (so that the program starts in reconfiguration mode), Wine told
to draw its own window frames, and norvane_guitest.exe running. Its worker
holds the dialog open until the test sets the finish event, so the checks
below see the dialog while the worker runs; the last check lets the worker
end and times the dialog's closing.

Environment (set by tests/gui/CMakeLists.txt):
  NORVANE_GUITEST_EXE    the test build of the program (norvane_guitest.exe)
  NORVANE_GUIPROBE_EXE   the probe (norvane_guiprobe.exe)
  NORVANE_BANNER_BMP     the committed banner bitmap (resource 210)
  NORVANE_GUI_ARTIFACTS  where screenshots are written
Standard library only; needs wine, Xvfb, xwd and ImageMagick's convert.
"""

from __future__ import annotations

import os
import shutil
import struct
import subprocess
import tempfile
import time
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
import winebed  # noqa: E402  (the test bed's bounded runner)

DIALOG_CAPTION = "Norvane Utility"
ABOUT_CAPTION = "About Norvane Utility"
OWN_RUN_VALUE = "Halvex Wardline Norvane"
TEST_STATUS_TEXT = "Test worker running: waiting to be finished"
IDM_ABOUTBOX = 16
APP_CAPTION = "Wardline Norvane Utility"
TEST_BOX_TEXT = "Test box raised by the worker"

WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
IDOK = 1


def env_path(name: str) -> Path:
    value = os.environ.get(name)
    if not value:
        raise unittest.SkipTest(f"{name} is not set")
    return Path(value)


# ------------------------------------------------------------------ images

def read_ppm(data: bytes):
    """(width, height, rows) of a binary PPM; rows[y][x] = (r, g, b)."""
    parts = []
    pos = 0
    while len(parts) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        parts.append(data[pos:end])
        pos = end
    pos += 1
    if parts[0] != b"P6" or int(parts[3]) != 255:
        raise ValueError("not an 8-bit P6 image")
    width, height = int(parts[1]), int(parts[2])
    pixels = data[pos:pos + width * height * 3]
    rows = [[tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
            for y in range(height)]
    return width, height, rows


def read_bmp_8bit(path: Path):
    """(width, height, pixel(x, y) -> (r, g, b)) of an 8-bit bottom-up bitmap file."""
    data = path.read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    hsize, width, height, _, bits = struct.unpack_from("<IiiHH", data, 14)
    assert hsize == 40 and bits == 8 and height > 0
    table = data[14 + hsize:14 + hsize + 1024]
    stride = (width + 3) & ~3

    def pixel(x, y):
        index = data[offset + (height - 1 - y) * stride + x]
        b, g, r = table[index * 4:index * 4 + 3]
        return (r, g, b)

    return width, height, pixel


# ------------------------------------------------------------------ session

class Session:
    """Xvfb, a Wine prefix with a persistent wineserver, and the program."""

    def __init__(self):
        self.exe = env_path("NORVANE_GUITEST_EXE")
        self.probe_exe = env_path("NORVANE_GUIPROBE_EXE")
        self.artifacts = Path(os.environ.get("NORVANE_GUI_ARTIFACTS") or tempfile.gettempdir())
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self.workdir = Path(tempfile.mkdtemp(prefix="norvane-gui-"))
        self.prefix = self.workdir / "prefix"
        self.xvfb = None
        self.program = None
        self.display = None
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WINESERVER", "WINELOADER")}
        self.env.update(WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")

    # -- helpers
    def run(self, cmd, timeout=60, check=True, display=True):
        env = dict(self.env)
        if display and self.display:
            env["DISPLAY"] = self.display
        return winebed.run(cmd, env, timeout, check=check)

    def probe(self, *args, check=True, timeout=30) -> dict:
        cp = self.run(["wine", self.probe_exe] + list(args), timeout=timeout, check=False)
        out = {}
        for line in cp.stdout.decode("latin-1").splitlines():
            key, sep, value = line.partition("=")
            if sep:
                out[key.strip()] = value.rstrip("\r")
        if check and cp.returncode != 0:
            raise AssertionError(f"probe {args} failed ({cp.returncode}): {out}")
        return out

    # -- life cycle
    def start(self):
        self._start_xvfb()
        # Quiet prefix creation: no display, no Mono/Gecko prompts.
        winebed.boot_prefix(self.prefix, self.env)
        self.run(["wineserver", "-w"], timeout=120, display=False)
        self._import_registry()
        self.run(["wineserver", "-w"], timeout=120, display=False)
        # A persistent server makes each probe start in tens of milliseconds.
        self.run(["wineserver", "-p"], timeout=30, check=False)
        self.program = self.launch()

    def launch(self, mode: str = "") -> subprocess.Popen:
        """Starts the test build; mode chooses its worker (guitest_main_win.cpp)."""
        env = dict(self.env, DISPLAY=self.display)
        if mode:
            env["NORVANE_GUITEST_MODE"] = mode
        return subprocess.Popen(["timeout", "180", "wine", str(self.exe)], env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def _start_xvfb(self):
        # A display number nobody else uses, derived from our pid.
        base = 200 + os.getpid() % 500
        for n in range(base, base + 50):
            if Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists():
                continue
            self.xvfb = subprocess.Popen(
                ["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.time() + 120
            while time.time() < deadline:
                if Path(f"/tmp/.X11-unix/X{n}").exists():
                    self.display = f":{n}"
                    return
                if self.xvfb.poll() is not None:
                    break
                time.sleep(0.05)
            self._stop_xvfb()
        raise RuntimeError("could not start Xvfb")

    def _import_registry(self):
        reg = self.workdir / "setup.reg"
        reg.write_bytes(
            ("REGEDIT4\r\n\r\n"
             "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"
             "\"Managed\"=\"N\"\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
             f"\"{OWN_RUN_VALUE}\"=\"\\\"C:\\\\norvane.exe\\\" \\\"/000000000000\\\" -HideWindow\"\r\n"
             ).encode("latin-1"))
        self.run(["wine", "regedit", "/S", "Z:" + str(reg).replace("/", "\\")], timeout=60,
                 display=False)

    def stop(self):
        try:
            if self.program and self.program.poll() is None:
                # Let the worker end so that the program leaves by itself.
                self.probe("finish", "0", "3000", check=False)
                try:
                    self.program.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    self.program.kill()
                    self.program.wait()
        finally:
            # Our own prefix's wineserver first, then the display it drew on.
            self.run(["wineserver", "-k"], timeout=30, check=False, display=False)
            self.run(["wineserver", "-w"], timeout=30, check=False, display=False)
            self._stop_xvfb()
            shutil.rmtree(self.workdir, ignore_errors=True)

    def _stop_xvfb(self):
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        self.xvfb = None

    # -- screen
    def screenshot(self, name: str | None = None, crop=None):
        """The screen as PPM rows; with name, also a PNG (cropped to crop=(x, y, w, h))."""
        xwd = self.workdir / "screen.xwd"
        with open(xwd, "wb") as f:
            subprocess.run(["timeout", "30", "xwd", "-root", "-silent", "-display", self.display],
                           stdout=f, check=True)
        if name:
            geometry = []
            if crop:
                x, y, w, h = crop
                geometry = ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
            subprocess.run(["timeout", "60", "convert", f"xwd:{xwd}"] + geometry +
                           [str(self.artifacts / name)], check=True)
        ppm = subprocess.run(["timeout", "60", "convert", f"xwd:{xwd}", "ppm:-"],
                             capture_output=True, check=True).stdout
        return read_ppm(ppm)[2]


def rect(text: str):
    return tuple(int(v) for v in text.split(","))


class ProgressDialogTest(unittest.TestCase):
    """The checks run in name order on one running dialog; test_9 ends it."""

    session: Session

    @classmethod
    def setUpClass(cls):
        cls.session = Session()
        try:
            cls.session.start()
            cls.found = cls.session.probe("find", DIALOG_CAPTION, "30000", timeout=60)
        except BaseException:
            cls.session.stop()
            raise
        cls.hwnd = cls.found["hwnd"]

    @classmethod
    def tearDownClass(cls):
        cls.session.stop()

    def assert_dialog_open(self, after: str):
        w = self.session.probe("window", self.hwnd)
        self.assertEqual(w["exists"], "1", f"the dialog closed after {after}")
        self.assertEqual(w["visible"], "1", f"the dialog was hidden after {after}")

    def wait_status(self, expected: str, timeout=120.0) -> str:
        deadline = time.time() + timeout
        text = None
        while time.time() < deadline:
            text = self.session.probe("text", self.hwnd, "1000")["text"]
            if text == expected:
                break
            time.sleep(0.1)
        return text

    def test_1_caption_status_and_screenshot(self):
        self.assertEqual(self.session.probe("window", self.hwnd)["caption"], DIALOG_CAPTION)
        self.assertEqual(self.wait_status(TEST_STATUS_TEXT), TEST_STATUS_TEXT)
        time.sleep(0.5)  # a few animation frames, and everything painted
        shot = self.session.artifacts / "progress-dialog.png"
        self.session.screenshot(shot.name, crop=rect(self.found["window"]))
        self.assertGreater(shot.stat().st_size, 1000)

    def test_2_banner_shows_resource_210(self):
        width, height, source = read_bmp_8bit(env_path("NORVANE_BANNER_BMP"))
        x0, y0, w, h = rect(self.found["control1005"])
        self.assertGreater(w, 100)
        self.assertGreater(h, 10)
        screen = self.session.screenshot()
        checked, colours = 0, set()
        for j in range(4):
            for i in range(24):
                dx, dy = (i * w) // 24 + w // 48, (j * h) // 4 + h // 8
                sx, sy = (dx * width) // w, (dy * height) // h
                # Only points inside flat areas of the source: stretching may
                # blend the colours at edges.
                near = {source(min(max(sx + a, 0), width - 1), min(max(sy + b, 0), height - 1))
                        for a in (-2, -1, 0, 1, 2) for b in (-1, 0, 1)}
                want = source(sx, sy)
                if any(max(abs(c[k] - want[k]) for k in range(3)) > 12 for c in near):
                    continue
                got = screen[y0 + dy][x0 + dx]
                self.assertLessEqual(max(abs(got[k] - want[k]) for k in range(3)), 24,
                                     f"banner pixel ({dx},{dy}) is {got}, resource 210 "
                                     f"({sx},{sy}) is {want}")
                checked += 1
                colours.add(want)
        self.assertGreaterEqual(checked, 40)
        self.assertGreaterEqual(len(colours), 3)  # not a uniform area

    def test_3_animation_moves(self):
        x0, y0, w, h = rect(self.found["control1001"])
        first = self.session.screenshot()
        a = [first[y][x0:x0 + w] for y in range(y0, y0 + h)]
        self.assertGreater(len({p for row in a for p in row}), 2, "no icon drawn")
        # A frame lasts well under 400 ms; a loaded machine may delay the
        # timer or the capture, so a few looks are allowed.
        for _ in range(8):
            time.sleep(0.4)
            second = self.session.screenshot()
            b = [second[y][x0:x0 + w] for y in range(y0, y0 + h)]
            if a != b:
                break
        self.assertTrue(a != b, "the animation frame did not change in 3.2 s")

    def test_4_system_menu_and_about_box(self):
        menu = self.session.probe("sysmenu", self.hwnd)
        count = int(menu["count"])
        items = [menu[f"item{i}"].split("|", 2) for i in range(count)]
        self.assertEqual(items[-1], [str(IDM_ABOUTBOX), "string", "&About Norvane Utility"])
        self.assertEqual(items[-2][1], "separator")

        # The about box opens from the menu command, owned by the dialog, and
        # goes with Escape, with Alt+F4 typed at it and with a click on its
        # close button: what test_5 does to the progress dialog does reach a
        # dialog.
        for keys in ("escape", "altf4", "click"):
            self.session.probe("post", self.hwnd, str(WM_SYSCOMMAND), str(IDM_ABOUTBOX), "0")
            about = self.session.probe("statics", ABOUT_CAPTION, "60000", timeout=90)
            self.assertEqual(about["owner"], self.hwnd)
            texts = [v.split("|", 2)[2] for k, v in about.items() if k.startswith("child")]
            self.assertIn("Norvane Utility version 1.0", texts)
            if keys == "escape":
                self.session.screenshot("about-box.png")
            if keys == "click":
                self.session.probe("clickclose", about["hwnd"])
            else:
                self.session.probe("input", about["hwnd"], keys)
            deadline = time.time() + 120
            while time.time() < deadline:
                if self.session.probe("window", about["hwnd"])["exists"] == "0":
                    break
                time.sleep(0.1)
            self.assertEqual(self.session.probe("window", about["hwnd"])["exists"], "0",
                             f"the about box stayed open after {keys}")
        self.assert_dialog_open("closing the about box")

    def test_5_keys_and_close_do_not_end_it(self):
        for keys in ("escape", "enter", "altf4"):
            self.session.probe("input", self.hwnd, keys)
            time.sleep(0.4)
            self.assert_dialog_open(keys)
        self.session.probe("clickclose", self.hwnd)
        time.sleep(0.4)
        self.assert_dialog_open("a click on the close button")
        for what, msg, wparam in (("the close button (SC_CLOSE)", WM_SYSCOMMAND, SC_CLOSE),
                                  ("WM_CLOSE", WM_CLOSE, 0),
                                  ("IDOK", WM_COMMAND, IDOK)):
            self.session.probe("post", self.hwnd, str(msg), str(wparam), "0")
            time.sleep(0.4)
            self.assert_dialog_open(what)
        self.assertEqual(self.wait_status(TEST_STATUS_TEXT), TEST_STATUS_TEXT)

    def test_6_one_worker(self):
        # Seconds of animation ticks, each forwarded to the dialog as a timer
        # message, have passed: still the one worker.
        state = self.session.probe("state")
        self.assertEqual(state["workerStarts"], "1")
        self.assertEqual(state["workerFinished"], "0")

    def test_9_closes_when_the_worker_ends(self):
        result = self.session.probe("finish", self.hwnd, "60000", timeout=90)
        self.assertEqual(result["closed"], "1")
        self.assertEqual(result["from"], "worker-end")
        # At the worker's end, not at some later timer (a loaded machine may
        # take a few seconds to get there).
        self.assertLess(float(result["milliseconds"]), 10000.0)
        self.session.program.wait(timeout=60)

    # The program again, with other test workers (after test_9 has ended it).

    def test_a_worker_boxes_belong_to_the_dialog(self):
        program = self.session.launch("box")
        try:
            dialog = self.session.probe("find", DIALOG_CAPTION, "120000", timeout=150)["hwnd"]
            box = self.session.probe("statics", APP_CAPTION, "60000", timeout=90)
            self.assertEqual(box["owner"], dialog, "the worker's box is not owned by the dialog")
            self.assertIn(TEST_BOX_TEXT, [v.split("|", 2)[2] for k, v in box.items()
                                          if k.startswith("child")])
            self.session.probe("post", box["hwnd"], str(WM_COMMAND), str(IDOK), "0")
            self.assertEqual(self.session.probe("finish", dialog, "60000", timeout=90)["closed"], "1")
            self.assertEqual(program.wait(timeout=60), 0)
        finally:
            if program.poll() is None:
                program.kill()

    def test_b_ends_when_the_worker_cannot_start(self):
        program = self.session.launch("no-thread")
        # Nobody answers anything: the dialog must end by itself, and a run
        # that ran no step is no copy done.
        self.assertEqual(program.wait(timeout=120), 1)
        log = Path(self.session.prefix, "drive_c", "ProgramData", "Norvane", "norvane.log")
        text = log.read_text("latin-1")
        self.assertIn("The worker thread could not be started", text)
        self.assertIn("The copy's steps did not run", text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
