"""The utility's whole life cycle under Wine: a master prepared, its disk
imaged, copies started on hardware of their own, the master started again.

    result = run_lifecycle(Options(copies=2))
    print(report_text(result))          # one column per machine
    result.problems()                   # [] when every machine ended as promised

Hardware: every machine (the master too) runs in a network namespace of its
own with lo and one veth pair; the first end carries a locally administered
MAC 02:4e:56:00:00:NN (NN 00 for the master, i for copy i) and 10.78.NN.2/24,
the second end no IPv4 address, so Wine's NetBIOS sees exactly one adapter.
The machine's wineserver and every Wine program of it run inside the
namespace (Wine reads the adapters in the session's own service process), and
so does its console stand-in (server.py on 127.0.0.1:PORT): nothing leaves.

Master: a fresh prefix with the client stand-in installed and running
(programs and services). Its client key has no "Application Path" (the folder
comes from "InstallPath"), "Mode" 1, "Server" 127.0.0.1 and "ServerPort"
PORT: the conditions under which a copy notifies the console. Without
"Application Path" the utility names "Wdlscan.ini" without a folder, and the
profile functions look for such a file in the Windows folder, so the INI file
is there as well as in the client folder. The utility is installed at
winebed.NORVANE_WIN_PATH and run once through nvrun.exe (preparation).

Image: the master's prefix copied once, after its session ended cleanly.

A copy: a copy of the image, started (new session, `wineboot -r`), the
client's programs and both services running as on the master before imaging,
then logon: `wine wineboot` without options runs the HKLM Run programs as
Windows does at logon, so the registered command starts the utility.
nvrun.exe --watch-only, started before, records every dialog and message box
of the session (boxes are answered) and the utility's process until it ends.
What the run left on the record is read before the machine restarts: the
outcome values (LastResult beside the exit code nvrun saw) and the run's lines
in the utility's log. Then the machine restarts, and norvane.exe should be
gone from the disk.

The master logs on again on its own hardware: the same-host path.

Restarts without a logon (Options.boot, demo.py --boot): the master is
prepared with `/service /quiet`, which installs the utility's boot-time
service beside its (quiet) Run value. Every machine, the master included, is
then started with `wineboot -r` alone: the automatic services start, nobody
logs on, no Run-key program runs and none of the client's programs is
running. The service runs the machine's steps; the harness waits (bounded)
until the utility's Run value and its service are gone. The master,
restarted before imaging, stays prepared (its run decides "same host" and
changes nothing, so an image made now would still carry the utility); the
harness waits for its run's "Finished" line. The service's exit
code is out of reach (no watcher follows a service), so the run is judged by
the lines this start added to the log (exactly one run, the service's, and its
"Finished with exit code" line) and by the outcome values (LastResult,
LastMode, Guid, ServerStatus). The client's program must not be launched:
the restored Run value starts it at the next logon.

Needs root, iproute2 and network namespaces (check_requirements says what is
missing); Xvfb, xwd, ImageMagick and Wine's Marlett font only for the
screenshot, which shows the progress dialog alone. Everything set up outside
the prefixes (namespaces, console stand-ins, Xvfb) is undone at the end, on
failure, on Ctrl-C, and by a watchdog if this process is killed.
"""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import winebed  # noqa: E402
from winebed import client, in_netns, run  # noqa: E402

EXE = winebed.NORVANE_WIN_PATH
# What a /service preparation registers: its copy of EXE in a folder only
# administrators can change.
INSTALLED_EXE = r"C:\Program Files\Norvane\norvane.exe"
EXE_NAME = "norvane.exe"
PORT = 8080  # the console stand-in's port inside every machine's namespace
SERVER = "127.0.0.1"
MASTER_GUID = "6f1c2a4e-3b5d-4c7e-9a8b-1d2e3f405162"  # the client's GUID on the master
SERVICES = ("hxlisten", "rtguard")
BOOT_SERVICE = "Norvane"  # the utility's boot-time service (prepared with /service)
BOOT_SERVICE_DISPLAY = "Norvane Utility"
SERVICE_WIN32_OWN_PROCESS = 0x10
LOCAL_SYSTEM = "LocalSystem"
BOOT_PREPARATION = ("/service", "/quiet")
COPY_PROGRAMS = ("main", "update", "monitor")  # running on each copy at logon
# The stand-in's programs (client.py); the monitor is the one the utility
# launches at the end (the INI's NT_MENU_IOMONITOR_ITEM_FILENAME).
CLIENT_PROGRAMS = {"main": client.NT_FOLDER + r"\sentova.exe",
                   "update": client.NT_FOLDER + r"\stvupd.exe",
                   "monitor": client.NT_FOLDER + r"\stvmon.exe"}
MONITOR = "monitor"
DIALOG_CAPTION = "Norvane Utility"
PENDING_KEY = r"System\CurrentControlSet\Control\Session Manager"
GUID_RE = re.compile(r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")
REQUEST_RE = (r"GET /Wardline/cgi/cgiOnInst\.exe\?UID={guid}&DATE=\d{{8}}&TIME=\d{{6}}"
              r"&DOMAIN=Workgroup&DEFAULT_CFG=1 HTTP/1\.0")
PROXY_VARIABLES = ("http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy")
START_TYPES = {2: "automatic", 3: "on demand", 4: "disabled"}
STATES = {1: "stopped", 2: "starting", 3: "stopping", 4: "running"}
OUTCOME_KEY = r"SOFTWARE\Norvane"  # HKLM: what the last run ended with
LOG_PATH = r"C:\ProgramData\Norvane\norvane.log"  # the utility's log, every run's lines
# A line of the utility's log: date, time, computer, process id, mode, text.
LOG_LINE_RE = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S+ (\d+) [a-z ]+: ")
LOG_TIME_RE = re.compile(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) ")
FINISHED_RE = re.compile(r": Finished with exit code (\d+)")
SERVICE_START_TEXT = ", as the boot-time service: "  # in the service's "Started on" line
MESSAGE_RE = re.compile(r"Message(?: \(not shown\))?: ")  # after a line's LOG_LINE_RE part
# Wine's own Marlett (Debian package fonts-wine): the caption buttons' glyphs.
# Debian's Wine 8 does not load the fonts of its data folder (it knows that
# folder as /usr/lib/wine/../../share/wine and never opens its fonts), so a
# photographed machine gets the file in its own Fonts folder, which Wine does
# read; without it the close button is drawn as the letter r.
MARLETT = Path("/usr/share/wine/fonts/marlett.ttf")


WINLOGON_KEY = r"Software\Microsoft\Windows NT\CurrentVersion\Winlogon"


class NeedError(RuntimeError):
    """What the machine lacks for the life cycle (root, namespaces ...)."""


def mandated_pauses_ms(same_host: bool, programs=(), services_running: int = 0,
                       services: int = 2, logon: bool = True) -> int:
    """The fixed pauses an NT run of the utility must spend, for a client with
    `programs` ("main", "update", "monitor") and `services_running` of its
    `services` services running at logon, and a console that answers at once.
    Without a logon (the boot-time service) the client's program is not
    launched, and its 1000 ms go; the wait for the adapters is no pause.

    A copy (identities differ):
        3000             "Waiting ..." before the client is stopped
      + 4000 a program   its window is asked to close and looked for again
                         1000 ms later (gone by then), then 3000 ms pass
                         after it has gone
      + 3000             "Waiting ..." again when no monitor window is there
      + 1000 a service   before its stop is requested
      + 1000 a running   the stop is requested, the state looked at again
             service     1000 ms later (stopped by then)
      + 1000             "Creating GUID key..."
                         (the notification has no pause of its own)
      + the restore
    The restore, all that runs on the master itself:
        4000 a service   after its start (queryable at once, running before
                         the pause ends)
      + 1000             "Loading program..."
    Not counted: the dialog's 50 ms start timer and the steps' own work.
    For a copy with all three programs and both services running: 29000."""
    restore = 4000 * services + (1000 if logon else 0)
    if same_host:
        return restore
    stop = 3000 + 4000 * len(programs) + (0 if "monitor" in programs else 3000)
    stop += 1000 * services + 1000 * services_running
    return stop + 1000 + restore


# ------------------------------------------------------------------ cleanup

class Janitor:
    """Undoes what was set up outside the prefixes, newest first: at close(),
    or, when this process dies without closing, from a watchdog that runs the
    same commands from a script."""

    def __init__(self, workdir: Path):
        self.script = workdir / "cleanup.sh"
        self._lock = threading.Lock()
        self._actions: list[tuple[int, str]] = []
        self._next = 0
        self._closed = False
        self._write()
        self._watchdog = subprocess.Popen(
            ["sh", "-c", 'while kill -0 "$1" 2>/dev/null; do sleep 1; done; sh "$2"',
             "lifecycle-watchdog", str(os.getpid()), str(self.script)],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)

    def add(self, command: str) -> int:
        """Registers how to undo what was just set up. After close() (Ctrl-C)
        it is undone at once and the caller stops with an error."""
        with self._lock:
            if self._closed:
                subprocess.run(["sh", "-c", f"timeout 60 {command}"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                raise winebed.BedError("stopped")
            self._next += 1
            self._actions.append((self._next, command))
            self._write()
            return self._next

    def done(self, key: int):
        with self._lock:
            self._actions = [a for a in self._actions if a[0] != key]
            self._write()

    def _write(self):
        lines = ["#!/bin/sh"] + [f"timeout 60 {c} >/dev/null 2>&1" for _, c in
                                 reversed(self._actions)]
        tmp = self.script.with_suffix(".tmp")
        try:
            tmp.write_text("\n".join(lines) + "\n")
            tmp.replace(self.script)
        except OSError:
            pass  # the work folder is gone: cleaning up has run

    def close(self):
        with self._lock:
            self._closed = True
            actions = list(reversed(self._actions))
            self._actions = []
            self._write()
        for _, command in actions:
            subprocess.run(["sh", "-c", f"timeout 60 {command}"], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._watchdog.kill()
        self._watchdog.wait(timeout=10)


def sh_quote(text: str) -> str:
    return "'" + str(text).replace("'", "'\\''") + "'"


# ------------------------------------------------------------------ hardware

def check_requirements():
    """Raises NeedError naming what is missing for the copies' own hardware."""
    if os.geteuid() != 0:
        raise NeedError("the life cycle needs root: every machine gets network adapters of its "
                        "own in a network namespace (ip netns), which only root can create")
    if not shutil.which("ip"):
        raise NeedError("the life cycle needs the 'ip' command (Debian package iproute2)")
    name = f"nv{os.getpid()}chk"
    cp = subprocess.run(["ip", "netns", "add", name], capture_output=True, timeout=30)
    if cp.returncode != 0:
        raise NeedError("the life cycle needs network namespaces, and 'ip netns add' failed: "
                        + cp.stderr.decode(errors="replace").strip())
    subprocess.run(["ip", "netns", "del", name], capture_output=True, timeout=30)
    for tool in ("wine", "wineserver"):
        if not shutil.which(tool):
            raise NeedError(f"the life cycle needs '{tool}' (Debian packages wine, wine64)")


class Hardware:
    """A network namespace with one adapter: MAC 02:4e:56:00:00:NN, 10.78.NN.2/24."""

    def __init__(self, index: int, janitor: Janitor):
        self.index = index
        self.netns = f"nv{os.getpid()}m{index}"
        self.mac = f"02:4e:56:00:00:{index:02x}"
        self.address = f"10.78.{index}.2/24"
        self.identity = self.mac.replace(":", "")
        self._janitor = janitor
        self._key = None

    def create(self):
        self._key = self._janitor.add(f"ip netns del {self.netns}")
        ns = ["ip", "-n", self.netns]
        for cmd in (["ip", "netns", "add", self.netns],
                    ns + ["link", "set", "lo", "up"],
                    ns + ["link", "add", "eth0", "type", "veth", "peer", "name", "eth1"],
                    ns + ["link", "set", "eth0", "address", self.mac],
                    ns + ["link", "set", "eth1", "address", f"02:4e:56:00:01:{self.index:02x}"],
                    ns + ["addr", "add", self.address, "dev", "eth0"],
                    ns + ["link", "set", "eth0", "up"],
                    ns + ["link", "set", "eth1", "up"]):
            run(cmd, None, 30)

    def delete(self):
        if self._key is not None:
            run(["ip", "netns", "del", self.netns], None, 30, check=False)
            self._janitor.done(self._key)
            self._key = None


def _end(proc: subprocess.Popen):
    """Ends a helper process: politely first, then by force."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(timeout=10)


class Console:
    """The console stand-in (server.py) inside a machine's namespace."""

    def __init__(self, hw: Hardware, log: Path, janitor: Janitor):
        self.log = log
        self._janitor = janitor
        self._proc = subprocess.Popen(
            in_netns(["python3", str(HERE / "server.py"), "--host", SERVER, "--port",
                      str(PORT), "--json-log", str(log), "--lifetime", "3600"], hw.netns),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._key = janitor.add(f"kill {self._proc.pid}")
        deadline = time.monotonic() + 15
        while not (log.exists() and log.read_text(encoding="latin-1").strip()):
            if self._proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise winebed.BedError(f"console stand-in did not start in {hw.netns}")
            time.sleep(0.05)

    def requests(self) -> list:
        lines = self.log.read_text(encoding="latin-1").splitlines() if self.log.exists() else []
        return [json.loads(line)["request_line"] for line in lines
                if line.strip() and "request_line" in json.loads(line)]

    def stop(self):
        _end(self._proc)
        self._janitor.done(self._key)


class Display:
    """A private Xvfb for the machine whose progress dialog is photographed.
    Clients in other network namespaces reach it through its socket file."""

    def __init__(self, janitor: Janitor):
        self._janitor = janitor
        base = 300 + os.getpid() % 500
        for n in range(base, base + 50):
            if Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists():
                continue
            self._proc = subprocess.Popen(
                ["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self._key = janitor.add(f"kill {self._proc.pid}")
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and self._proc.poll() is None:
                if Path(f"/tmp/.X11-unix/X{n}").exists():
                    self.name = f":{n}"
                    return
                time.sleep(0.05)
            self.stop()
        raise winebed.BedError("could not start Xvfb")

    def screenshot(self, png: Path, window: str | None = None) -> bool:
        """The window named `window` (Wine draws its frame inside it) or the
        whole screen; False when no such window was there to take."""
        xwd = png.with_suffix(".xwd")
        try:
            with open(xwd, "wb") as f:
                cp = subprocess.run(["xwd", "-silent", "-display", self.name]
                                    + (["-name", window] if window else ["-root"]),
                                    stdout=f, stderr=subprocess.DEVNULL, timeout=30)
            if cp.returncode != 0:
                return False
            subprocess.run(["convert", f"xwd:{xwd}", str(png)], check=True, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return True
        finally:
            xwd.unlink(missing_ok=True)

    def stop(self):
        _end(self._proc)
        self._janitor.done(self._key)


# ------------------------------------------------------------------ machines

class Machine(winebed.Bed):
    """A prefix on its own hardware, optionally drawing on a display."""

    def __init__(self, name: str, template: Path, testbed_dir: Path, work: Path,
                 hw: Hardware, display: str | None = None):
        super().__init__(name, template=template, testbed_dir=testbed_dir, work=work,
                         netns=hw.netns)
        self.hw = hw
        self.display = display
        self._display_set = False
        # The machine's network is its namespace alone: no proxy of the host.
        for name in [k for k in self.env if k.lower() in PROXY_VARIABLES]:
            del self.env[name]
        if display:
            self.env["DISPLAY"] = display

    def serve(self):
        if self.display and not self._display_set:
            self._draw_on_display()
        super().serve()

    def _draw_on_display(self):
        """Before the first session: the X11 driver instead of the null one,
        Wine's own window frames (Xvfb has no window manager) and the font
        of their buttons (see MARLETT). The wineserver reads user.reg when
        it starts, so it is edited here."""
        user_reg = self.prefix / "user.reg"
        text = user_reg.read_text(encoding="latin-1")
        if '"Graphics"="null"' not in text:
            raise winebed.BedError("the prefix has no null graphics driver setting to replace")
        text = text.replace('"Graphics"="null"', '"Graphics"="x11"')
        text += '\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Managed"="N"\n'
        user_reg.write_text(text, encoding="latin-1")
        shutil.copyfile(MARLETT, self.c_path(r"C:\windows\Fonts\marlett.ttf"))
        self._display_set = True


def service_cell(svc: dict | None) -> str:
    return ("(absent)" if svc is None else
            f"{START_TYPES.get(svc['start_type'], svc['start_type'])}, "
            f"{STATES.get(svc['state'], svc['state'])}")


def state_rows(bed, boot: bool = False) -> dict:
    """What preparation changes, as the administrator sees it."""
    rows = {}
    for name in SERVICES + ((BOOT_SERVICE,) if boot else ()):
        rows[f"service {name}"] = service_cell(bed.service(name))
    for name, value in sorted(bed.run_values().items()):
        rows[f"Run: {name}"] = value["data"] if value["type"] == "REG_SZ" else str(value)
    return rows


def registered_identity(bed) -> str | None:
    value = bed.run_values().get(winebed.OWN_RUN_VALUE)
    m = re.fullmatch(r'"(.*)" "/(.*)" -HideWindow(?: /quiet)?', (value or {}).get("data", ""))
    return m.group(2) if m else None


def last_result(bed) -> int | None:
    """The outcome value LastResult: the exit code the last run recorded."""
    value = bed.reg_value("HKLM", OUTCOME_KEY, "LastResult")
    return None if value is None else value.get("data")


def outcome_values(bed) -> dict:
    """Every outcome value by name (REG_DWORD as numbers)."""
    return {name: v.get("data") for name, v in
            (bed.reg_values("HKLM", OUTCOME_KEY) or {}).items()}


def log_size(bed) -> int:
    path = bed.c_path(LOG_PATH)
    return path.stat().st_size if path.exists() else 0


def log_lines_since(bed, offset: int) -> list:
    """The lines added to the utility's log after its first `offset` bytes."""
    path = bed.c_path(LOG_PATH)
    if not path.exists():
        return []
    with open(path, "rb") as f:
        f.seek(offset)
        text = f.read().decode("latin-1")
    return [line for line in text.split("\r\n") if LOG_LINE_RE.match(line)]


def log_time(line: str) -> float | None:
    """A log line's local time as seconds since the epoch (to the second)."""
    m = LOG_TIME_RE.match(line)
    return time.mktime(time.strptime(m.group(1), "%Y-%m-%d %H:%M:%S")) if m else None


def run_lines(bed, pid: int | None) -> list:
    """The lines of process pid's run in the utility's log: from its last
    "Started on" line to its "Finished" line (a copy's log also holds the
    master's runs, whose process ids may be the same)."""
    path = bed.c_path(LOG_PATH)
    if pid is None or not path.exists():
        return []
    lines = [line for line in path.read_bytes().decode("latin-1").split("\r\n")
             if (m := LOG_LINE_RE.match(line)) and int(m.group(1)) == pid]
    starts = [i for i, line in enumerate(lines) if ": Started on " in line]
    if not starts:
        return []
    run = lines[starts[-1]:]
    end = next((i for i, line in enumerate(run) if ": Finished with exit code " in line),
               len(run) - 1)
    return run[:end + 1]


def client_guid(bed) -> str | None:
    value = bed.reg_value("HKLM", client.NT_KEY, "GUID")
    return None if value is None else value.get("data")


def client_options() -> client.ClientOptions:
    """The master's client: notifies the console from every copy (see the
    module's description), its programs and services running."""
    opts = client.ClientOptions(running=list(COPY_PROGRAMS))
    opts.nt_values.update({"Application Path": None, "InstallPath": client.NT_FOLDER,
                           "Mode": client.Dword(1), "Server": SERVER,
                           "ServerPort": client.Dword(PORT), "GUID": MASTER_GUID})
    # No proxy: with "UseProxy" 0 a configured proxy host would be used.
    opts.nt_proxy_values.update({"ProxyIP": None, "ProxyPort": None})
    return opts


@dataclass
class Preparation:
    before: dict
    after: dict
    boxes: list  # winebed.Box
    exit_code: int
    last_result: int | None  # the outcome value after the run
    identity: str | None  # registered with the command
    expected_identity: str
    client_run_values: dict  # name -> command, as installed
    boot: bool = False  # prepared with BOOT_PREPARATION
    dialogs: list = field(default_factory=list)  # other windows the run showed
    own_run_command: str | None = None  # the utility's Run value after the run
    boot_service: dict | None = None  # nvprobe's svc record of BOOT_SERVICE after the run

    def expected_commands(self) -> tuple:
        """The Run value and service command a /service /quiet preparation
        registers: (Run value, service command)."""
        base = f'"{INSTALLED_EXE}" "/{self.expected_identity}" -HideWindow'
        return f"{base} /quiet", f"{base} /service"


@dataclass
class MachineReport:
    name: str
    same_host: bool
    mac: str = ""
    identity_registered: str | None = None
    identity_seen: list = field(default_factory=list)
    guid_before: str | None = None
    guid_after: str | None = None
    requests: list = field(default_factory=list)
    listener_start: int | None = None
    service_states: dict = field(default_factory=dict)
    client_run_value: dict | None = None  # the value after the run
    client_run_expected: tuple = ("", "")  # (name, command)
    own_run_value: dict | None = None
    queued_for_deletion: bool = False
    exe_after_restart: bool | None = None
    program_launched: bool = False
    boxes: list = field(default_factory=list)  # {"caption", "text", "pid"}
    dialogs: list = field(default_factory=list)
    started: bool = False
    ended: bool = False
    pid: int | None = None  # the utility's process
    exit_code: int | None = None  # as its process ended
    last_result: int | None = None  # the outcome value after the run
    run_log: list = field(default_factory=list)  # its run's lines in the log
    wall_s: float | None = None  # logon to the utility's end
    lifetime_s: float | None = None  # the utility's process, start to end
    pauses_ms: int = 0
    # Restarted without a logon (Options.boot): what the boot-time service's
    # run left. exit_code then comes from the log's "Finished" line, pid from
    # its "Started on" line.
    boot_service: dict | None = None  # BOOT_SERVICE after the run; None: gone
    runs_started: list = field(default_factory=list)  # "Started on" lines since the image
    messages: list = field(default_factory=list)  # messages the run recorded
    outcome: dict = field(default_factory=dict)  # the outcome values after the run
    screenshot: Path | None = None
    screenshot_note: str = ""
    errors: list = field(default_factory=list)

    def client_run_restored(self) -> bool:
        v = self.client_run_value
        return bool(v and v.get("type") == "REG_SZ" and v.get("terminated")
                    and v.get("data") == self.client_run_expected[1])

    def services_running(self) -> bool:
        return all(self.service_states.get(s) == 4 for s in SERVICES)


@dataclass
class LifecycleResult:
    preparation: Preparation | None = None
    machines: list = field(default_factory=list)  # MachineReport: master first
    seconds: float = 0.0
    errors: list = field(default_factory=list)
    boot: bool = False  # every machine restarted without a logon (Options.boot)

    def problems(self) -> list:
        """Every promise not kept, one line each; [] when all machines ended
        as promised."""
        out = list(self.errors)
        prep = self.preparation
        if prep is None:
            return out + ["the master was not prepared"]
        if prep.identity != prep.expected_identity:
            out.append(f"master: registered identity {prep.identity!r}, "
                       f"expected {prep.expected_identity!r}")
        if self.boot:
            out += self._boot_preparation_problems(prep)
        elif [b.text for b in prep.boxes] != [winebed.MSG_CONFIGURED]:
            out.append(f"master: preparation showed {[b.text for b in prep.boxes]}")
        if (prep.exit_code, prep.last_result) != (0, 0):
            out.append(f"master: preparation ended with exit code {prep.exit_code}, "
                       f"LastResult {prep.last_result}; 0 and 0 expected")
        guids = {}
        for m in self.machines:
            out += [f"{m.name}: {e}" for e in m.errors]
            if self.boot and m.same_host:
                out += [f"{m.name}: {p}" for p in self._boot_master_problems(m)]
                guids.setdefault(m.guid_after or "", []).append(m.name)
                continue
            if self.boot:
                out += [f"{m.name}: {p}" for p in self._boot_run_problems(m)]
            elif not m.ended:
                out.append(f"{m.name}: the utility " + ("did not end" if m.started
                                                       else "was not started at logon"))
            elif (m.exit_code, m.last_result) != (0, 0):
                out.append(f"{m.name}: exit code {m.exit_code}, LastResult {m.last_result}; "
                           "0 and 0 expected")
            g = m.guid_after or ""
            if not GUID_RE.fullmatch(g):
                out.append(f"{m.name}: GUID {g!r} is not 36 lower-case characters")
            guids.setdefault(g, []).append(m.name)
            if m.same_host:
                if g != m.guid_before:
                    out.append(f"{m.name}: GUID changed on the master itself")
                if m.requests:
                    out.append(f"{m.name}: the console got {len(m.requests)} request(s), none "
                               "expected on the master")
            else:
                if g == m.guid_before:
                    out.append(f"{m.name}: GUID unchanged")
                if len(m.requests) != 1:
                    out.append(f"{m.name}: the console got {len(m.requests)} requests, "
                               "expected exactly one")
                elif not re.fullmatch(REQUEST_RE.format(guid=re.escape(g)), m.requests[0]):
                    out.append(f"{m.name}: the request does not carry the new GUID "
                               f"as expected: {m.requests[0]!r}")
                if m.identity_seen == [m.identity_registered]:
                    out.append(f"{m.name}: has the master's adapter, not hardware of its own")
            if m.listener_start != client.SERVICE_AUTO_START:
                out.append(f"{m.name}: listener start type {m.listener_start}, not automatic")
            if not m.services_running():
                out.append(f"{m.name}: services not both running: {m.service_states}")
            if not m.client_run_restored():
                out.append(f"{m.name}: the client's Run value is not back byte for byte: "
                           f"{m.client_run_value}")
            if self.boot:
                if m.program_launched:
                    out.append(f"{m.name}: the client's program was launched with nobody "
                               "logged on")
            elif not m.program_launched:
                out.append(f"{m.name}: the client's program was not launched")
            if m.own_run_value is not None:
                out.append(f"{m.name}: the utility's Run value is still there")
            if m.exe_after_restart is not False:
                out.append(f"{m.name}: {EXE_NAME} is still there after the restart")
            if m.boxes:
                out.append(f"{m.name}: {len(m.boxes)} message box(es) shown")
        for g, names in guids.items():
            if g and len(names) > 1:
                out.append(f"GUID {g} shared by {', '.join(names)}")
        return out

    @staticmethod
    def _boot_preparation_problems(prep: Preparation) -> list:
        """A /service /quiet preparation: nothing shown, the quiet Run value
        and the service beside it."""
        out = []
        if prep.boxes or prep.dialogs:
            out.append(f"master: the quiet preparation showed {[b.text for b in prep.boxes]} "
                       f"{prep.dialogs}")
        run_command, service_command = prep.expected_commands()
        if prep.own_run_command != run_command:
            out.append(f"master: the utility's Run value is {prep.own_run_command!r}, "
                       f"expected {run_command!r}")
        svc = prep.boot_service
        if svc is None:
            out.append(f"master: no service {BOOT_SERVICE} after the preparation")
        else:
            got = (svc["service_type"], svc["start_type"], svc["account"], svc["display_name"],
                   svc["binary_path"])
            want = (SERVICE_WIN32_OWN_PROCESS, client.SERVICE_AUTO_START, LOCAL_SYSTEM,
                    BOOT_SERVICE_DISPLAY, service_command)
            if got != want:
                out.append(f"master: service {BOOT_SERVICE} is {got}, expected {want}")
        return out

    @staticmethod
    def _boot_master_problems(m: MachineReport) -> list:
        """The master restarted without a logon before imaging: one run, the
        service's, that decides "same host" and changes nothing."""
        out = []
        if len(m.runs_started) != 1 or SERVICE_START_TEXT not in m.runs_started[0]:
            out.append(f"{len(m.runs_started)} runs of the utility since the image, only the "
                       f"boot-time service's expected: {m.runs_started}")
        if not m.ended:
            out.append("the service's run has no \"Finished\" line in the log")
        elif (m.exit_code, m.last_result) != (0, 0):
            out.append(f"exit code {m.exit_code} (log), LastResult {m.last_result}; "
                       "0 and 0 expected")
        if m.outcome.get("LastMode") != "same host":
            out.append(f"LastMode {m.outcome.get('LastMode')!r}, expected 'same host'")
        if m.guid_after != m.guid_before:
            out.append("GUID changed on the master itself")
        if m.requests:
            out.append(f"the console got {len(m.requests)} request(s), none expected")
        if m.own_run_value is None or m.boot_service is None:
            out.append("the utility's Run value or service is gone: an image made now would "
                       "carry no utility")
        if m.listener_start != client.SERVICE_DEMAND_START:
            out.append(f"listener start type {m.listener_start}, still on demand expected")
        if m.client_run_value is not None or m.program_launched:
            out.append("the client's start-up entry is back, or its program was launched")
        if m.messages:
            out.append(f"{len(m.messages)} message(s) recorded: {m.messages}")
        return out

    @staticmethod
    def _boot_run_problems(m: MachineReport) -> list:
        """A machine restarted without a logon: finished by its boot-time
        service alone, with everything on the record."""
        out = []
        if not m.runs_started:
            out.append("the boot-time service did not run")
        elif len(m.runs_started) != 1 or SERVICE_START_TEXT not in m.runs_started[0]:
            out.append(f"{len(m.runs_started)} runs of the utility since the image, only the "
                       f"boot-time service's expected: {m.runs_started}")
        if m.runs_started and not m.ended:
            out.append("the service's run has no \"Finished\" line in the log")
        elif m.ended and (m.exit_code, m.last_result) != (0, 0):
            out.append(f"exit code {m.exit_code} (log), LastResult {m.last_result}; "
                       "0 and 0 expected")
        mode = "same host" if m.same_host else "copy"
        if m.outcome.get("LastMode") != mode:
            out.append(f"LastMode {m.outcome.get('LastMode')!r}, expected {mode!r}")
        if not m.same_host:
            if m.outcome.get("Guid") != m.guid_after:
                out.append(f"outcome value Guid {m.outcome.get('Guid')!r}, the client has "
                           f"{m.guid_after!r}")
            if m.outcome.get("ServerStatus") != 200:
                out.append(f"ServerStatus {m.outcome.get('ServerStatus')!r}, 200 expected")
        if m.messages:
            out.append(f"{len(m.messages)} message(s) recorded: {m.messages}")
        if m.boot_service is not None:
            out.append(f"service {BOOT_SERVICE} still there: {service_cell(m.boot_service)}")
        return out


@dataclass
class Options:
    copies: int = 2
    exe: Path = REPO / "build" / "windows" / "src" / EXE_NAME
    testbed_dir: Path = REPO / "build" / "windows" / "testbed"
    template: Path | None = None  # a winebed template prefix; None: make one
    work: Path | None = None  # where the prefixes go (default: system temp folder)
    screenshot: Path | None = None  # where copy 1's progress dialog is saved (PNG)
    parallel: bool = True  # the copies and the master's second logon at once
    run_timeout_s: int = 300  # the utility must end within this after logon (or the restart)
    boot: bool = False  # prepare with /service /quiet; restart every machine without a logon
    keep: bool = False
    log: object = print


class Lifecycle:
    def __init__(self, options: Options):
        self.o = options
        root = Path(options.work or tempfile.gettempdir())
        root.mkdir(parents=True, exist_ok=True)
        self.work = Path(tempfile.mkdtemp(prefix="norvane-lifecycle-", dir=root))
        self.janitor = Janitor(self.work)
        if not options.keep:
            self.janitor.add(f"rm -rf {sh_quote(self.work)}")
        self.display: Display | None = None
        self.result = LifecycleResult(boot=options.boot)
        self.image: dict = {}  # what every machine starts from (see _prepare)
        self._log_lock = threading.Lock()

    def say(self, text: str):
        with self._log_lock:
            self.o.log(text)

    # --- the whole run ----------------------------------------------------
    def run(self) -> LifecycleResult:
        t0 = time.monotonic()
        try:
            self._run()
        finally:
            self.janitor.close()
            if self.o.keep:
                self.say(f"kept {self.work}")
            else:
                shutil.rmtree(self.work, ignore_errors=True)
            self.result.seconds = time.monotonic() - t0
        return self.result

    def _run(self):
        template = self.o.template
        if template is None:
            self.say("Creating a fresh Wine prefix ...")
            template = self.work / "template"
            winebed.make_template(template)
        hw = Hardware(0, self.janitor)
        hw.create()
        console = None
        master = Machine("master", template, self.o.testbed_dir, self.work, hw)
        master.keep = self.o.keep
        try:
            console = Console(hw, self.work / "console-master.jsonl", self.janitor)
            master.__enter__()
            self.janitor.add(f"env WINEPREFIX={sh_quote(master.prefix)} wineserver -k")
            image = self._prepare(master, hw)
            report = MachineReport("master", same_host=True, mac=hw.mac)
            reports = [report] + [MachineReport(f"copy {i}", same_host=False)
                                  for i in range(1, self.o.copies + 1)]
            self.result.machines = reports
            if self.o.screenshot:
                self.display = Display(self.janitor)
            jobs = [lambda: self._logon_master(master, report, console)]
            jobs += [lambda i=i: self._copy(i, image, reports[i])
                     for i in range(1, self.o.copies + 1)]
            pool = ThreadPoolExecutor(max_workers=len(jobs) if self.o.parallel else 1)
            try:
                for f in [pool.submit(job) for job in jobs]:
                    f.result()
            except BaseException:
                # Ctrl-C: end the sessions, consoles and namespaces now, so
                # that the jobs still running fail fast instead of waiting.
                self.janitor.close()
                raise
            finally:
                pool.shutdown(wait=True)
        finally:
            if console:
                console.stop()
            master.close()
            hw.delete()
            if self.display:
                self.display.stop()

    # --- master -----------------------------------------------------------
    def _prepare(self, master: Machine, hw: Hardware) -> Path:
        self.say(f"Master ({hw.mac}): installing the client stand-in (running) and {EXE_NAME} ...")
        installed = master.install_client(client_options())
        # Found by its bare name from the Windows folder (see the module's text).
        ini = master.c_path(installed.ini_path)
        shutil.copyfile(ini, master.c_path(r"C:\windows\Wdlscan.ini"))
        # The master's workgroup, which its copies report to the console.
        master.regedit_import(client.reg_file({
            "HKEY_LOCAL_MACHINE\\" + WINLOGON_KEY: {"CachePrimaryDomain": "WORKGROUP"}}))
        master.install_exe(self.o.exe, EXE)
        self.client_run_values = dict(installed.run_values)
        boot = self.o.boot
        args = BOOT_PREPARATION if boot else ()
        before = state_rows(master, boot)
        self.say(f"Master: running {' '.join((EXE,) + args)} (preparation) ...")
        result = master.run_program(EXE, *args, timeout_ms=120000)
        after = state_rows(master, boot)
        prep = Preparation(before, after, result.boxes, result.exit_code, last_result(master),
                           registered_identity(master), hw.identity, dict(installed.run_values))
        self.result.preparation = prep
        if boot:
            prep.boot = True
            prep.dialogs = result.dialogs
            prep.own_run_command = (master.run_values().get(winebed.OWN_RUN_VALUE)
                                    or {}).get("data")
            prep.boot_service = master.service(BOOT_SERVICE)
            # Read now: at a restart without a logon the service starts with
            # the session, before anything could be read through Wine.
            self.image = {"identity": prep.identity, "guid": client_guid(master),
                          "automatic": sum((master.service(s) or {}).get("start_type")
                                           == client.SERVICE_AUTO_START for s in SERVICES)}
        self.say("Master: shut down; imaging its disk ...")
        master.shutdown()
        self.image["log_size"] = log_size(master)
        image = self.work / "image"
        run(["cp", "-a", master.prefix, image], None, 300)
        return image

    def _logon_master(self, master: Machine, report: MachineReport, console: Console):
        try:
            if self.o.boot:
                self.say("Master: restart without a logon (same hardware) ...")
                master.serve()
                self._boot_and_check(master, report)
                return
            self.say("Master: restart and logon (same hardware) ...")
            master.boot()
            self._logon_and_check(master, report, console, programs=())
        except Exception as e:  # reported with the machine, the others go on
            report.errors.append(f"harness: {e}")
        finally:
            report.requests = console.requests()

    # --- copies -----------------------------------------------------------
    def _copy(self, index: int, image: Path, report: MachineReport):
        hw = Hardware(index, self.janitor)
        display = self.display.name if (self.display and index == 1) else None
        console = machine = None
        try:
            hw.create()
            report.mac = hw.mac
            console = Console(hw, self.work / f"console-copy{index}.jsonl", self.janitor)
            machine = Machine(f"copy{index}", image, self.o.testbed_dir, self.work, hw, display)
            machine.keep = self.o.keep
            machine.__enter__()
            self.janitor.add(f"env WINEPREFIX={sh_quote(machine.prefix)} wineserver -k")
            machine.own_services(SERVICES)
            if self.o.boot:
                self.say(f"Copy {index} ({hw.mac}): started from the image, nobody logs on ...")
                self._boot_and_check(machine, report)
                return
            self.say(f"Copy {index} ({hw.mac}): started from the image ...")
            machine.wine("wineboot", "-r", timeout=120)
            # The client runs as it did on the master before imaging.
            for role in COPY_PROGRAMS:
                machine.start_background(CLIENT_PROGRAMS[role], "--role", role)
            machine.probe("svc-start", *SERVICES)
            self._logon_and_check(machine, report, console, programs=COPY_PROGRAMS,
                                  screenshot=self.o.screenshot if display else None)
        except Exception as e:
            report.errors.append(f"harness: {e}")
        finally:
            if console:
                report.requests = console.requests()
                console.stop()
            if machine:
                machine.close()
            hw.delete()

    # --- logon, the utility's run, restart --------------------------------
    def _logon_and_check(self, m: Machine, r: MachineReport, console: Console, programs,
                         screenshot: Path | None = None):
        r.identity_registered = registered_identity(m)
        r.identity_seen = m.probe("netbios").get("adapters", [])
        r.guid_before = client_guid(m)
        running_services = sum((m.service(s) or {}).get("state") == 4 for s in SERVICES)
        r.pauses_ms = mandated_pauses_ms(r.same_host, programs, running_services)
        monitor = CLIENT_PROGRAMS[MONITOR]
        launched_before = self._starts(m, monitor)

        log = m.dir / "watch.jsonl"
        limit_ms = self.o.run_timeout_s * 1000
        watcher = m.popen_wine(m.testbed_exe("nvrun.exe"), "--watch-only", EXE_NAME,
                               "--appear", "30000", "--timeout", str(limit_ms),
                               "--log", m.z_path(log))
        try:
            self._wait_for(log, lambda rec: rec.get("kind") == "watching", 30, "the watcher")
            self.say(f"{r.name.capitalize()}: logon ...")
            logon = time.time()
            m.wine("wineboot", timeout=60)
            if screenshot:
                self._photograph(log, screenshot, r)
            try:
                watcher.wait(timeout=self.o.run_timeout_s + 60)
            except subprocess.TimeoutExpired:
                r.errors.append("the watcher did not end")
        finally:
            if watcher.poll() is None:
                watcher.kill()
                watcher.wait(timeout=10)
        records = self._records(log)
        for rec in records:
            kind = rec.get("kind")
            if kind == "process":
                r.started = True
                r.pid = rec["pid"]
            elif kind == "process_exit":
                r.ended = True
                r.pid = rec["pid"]
                r.exit_code = rec["code"]
                r.wall_s = rec["end_unix_ms"] / 1000 - logon
                r.lifetime_s = (rec["end_unix_ms"] - rec["start_unix_ms"]) / 1000
            elif kind == "msgbox":
                r.boxes.append({k: rec.get(k) for k in ("caption", "text", "pid")})
            elif kind == "dialog":
                r.dialogs.append(rec.get("caption"))
        r.last_result = last_result(m)
        r.run_log = run_lines(m, r.pid)
        self._after_run(m, r, monitor, launched_before)

    def _boot_and_check(self, m: Machine, r: MachineReport):
        """A restart without a logon (`wineboot -r` as the session's first
        program: the automatic services start, no Run-key program does); the
        boot-time service's run is awaited until it has written its last line
        and, on a copy, the utility's Run value and its service are gone, at
        most run_timeout_s after the restart."""
        r.identity_registered = self.image["identity"]
        r.guid_before = self.image["guid"]
        r.pauses_ms = mandated_pauses_ms(r.same_host, (), self.image["automatic"], logon=False)
        monitor = CLIENT_PROGRAMS[MONITOR]
        launched_before = self._starts(m, monitor)
        restart = time.time()
        deadline = time.monotonic() + self.o.run_timeout_s
        m.wine("wineboot", "-r", timeout=120)
        self.say(f"{r.name.capitalize()}: waiting for the boot-time service ...")
        while True:
            r.boot_service = m.service(BOOT_SERVICE)
            # Every run begun since has written its last line (its outcome
            # values are there by then); a copy's has also taken its Run
            # value and its service away.
            lines = log_lines_since(m, self.image["log_size"])
            begun = sum(": Started on " in line for line in lines)
            ended = begun > 0 and sum(bool(FINISHED_RE.search(line)) for line in lines) >= begun
            if ended and (r.same_host or (r.boot_service is None and
                                          winebed.OWN_RUN_VALUE not in m.run_values())):
                break
            if time.monotonic() > deadline:
                break
            time.sleep(1)
        lines = log_lines_since(m, self.image["log_size"])
        r.runs_started = [line for line in lines if ": Started on " in line]
        first = next((line for line in r.runs_started if SERVICE_START_TEXT in line), None)
        if first:
            r.started = True
            r.pid = int(LOG_LINE_RE.match(first).group(1))
            run = [line for line in lines[lines.index(first):]
                   if int(LOG_LINE_RE.match(line).group(1)) == r.pid]
            end = next((i for i, line in enumerate(run) if FINISHED_RE.search(line)), None)
            r.run_log = run if end is None else run[:end + 1]
            if end is not None:
                r.ended = True
                r.exit_code = int(FINISHED_RE.search(run[end]).group(1))
                r.wall_s = log_time(run[end]) - restart
                r.lifetime_s = log_time(run[end]) - log_time(first)
        texts = [line[LOG_LINE_RE.match(line).end():] for line in r.run_log]
        r.messages = [t[hit.end():] for t in texts if (hit := MESSAGE_RE.match(t))]
        r.identity_seen = m.probe("netbios").get("adapters", [])
        r.outcome = outcome_values(m)
        r.last_result = r.outcome.get("LastResult")
        self._after_run(m, r, monitor, launched_before)

    def _after_run(self, m: Machine, r: MachineReport, monitor: str, launched_before: int):
        """What the run left, then a restart: is the utility's file gone?"""
        r.guid_after = client_guid(m)
        listener = m.service("hxlisten")
        r.listener_start = listener["start_type"] if listener else None
        r.service_states = {s: (m.service(s) or {}).get("state") for s in SERVICES}
        name, command = next(iter(self.client_run_values.items()))
        r.client_run_expected = (name, command)
        run_values = m.run_values()
        r.client_run_value = run_values.get(name)
        r.own_run_value = run_values.get(winebed.OWN_RUN_VALUE)
        pending = m.reg_value("HKLM", PENDING_KEY, "PendingFileRenameOperations")
        entries = pending.get("data", []) if pending else []
        r.queued_for_deletion = any(str(e).lower().endswith("\\" + EXE_NAME) for e in entries)
        if self.o.boot:  # any start at all: nobody is logged on
            r.program_launched = self._starts(m, monitor) > launched_before
        else:
            r.program_launched = (self._starts(m, monitor) > launched_before
                                  and m.program_events(monitor)[-1]["event"] == "started")
        self.say(f"{r.name.capitalize()}: restart ...")
        m.shutdown()
        m.boot()
        r.exe_after_restart = m.c_path(INSTALLED_EXE if self.o.boot else EXE).exists()
        m.shutdown()

    @staticmethod
    def _starts(m: Machine, program: str) -> int:
        return sum(e["event"] == "started" for e in m.program_events(program))

    def _photograph(self, log: Path, png: Path, r: MachineReport):
        """Copy 1's progress dialog, a moment after it appeared."""
        try:
            shown = self._wait_for(log, lambda rec: rec.get("kind") == "dialog"
                                   and rec.get("caption") == DIALOG_CAPTION, 120, "the dialog")
        except winebed.BedError:
            r.screenshot_note = "the progress dialog was not seen; no screenshot"
            return
        time.sleep(1.5)  # the worker's first status texts
        png.parent.mkdir(parents=True, exist_ok=True)
        if not self.display.screenshot(png, DIALOG_CAPTION):
            r.screenshot_note = "the progress dialog was gone before it was taken"
            return
        taken = time.time() * 1000
        r.screenshot = png
        gone = [rec for rec in self._records(log) if rec.get("kind") == "dialog_gone"
                and rec.get("hwnd") == shown.get("hwnd")]
        r.screenshot_note = ("the dialog had closed before it was taken"
                             if gone and gone[0]["unix_ms"] < taken else "dialog open")

    def _wait_for(self, log: Path, match, seconds: float, what: str) -> dict:
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for rec in self._records(log):
                if match(rec):
                    return rec
            time.sleep(0.05)
        raise winebed.BedError(f"{what} did not show within {seconds} s")

    @staticmethod
    def _records(log: Path) -> list:
        if not log.exists():
            return []
        out = []
        for line in log.read_bytes().decode("latin-1").splitlines():
            try:
                out.append(json.loads(line))
            except json.JSONDecodeError:
                pass  # a line still being written
        return out


def run_lifecycle(options: Options) -> LifecycleResult:
    """Raises NeedError at once when root or network namespaces are missing."""
    check_requirements()
    for need in (options.exe, options.testbed_dir / "nvrun.exe",
                 options.testbed_dir / "nvprobe.exe", options.testbed_dir / "standin_service.exe",
                 options.testbed_dir / "standin_client.exe"):
        if not Path(need).is_file():
            raise NeedError(f"missing {need}: build the 'windows' preset first")
    if options.screenshot:
        for tool in ("Xvfb", "xwd", "convert"):
            if not shutil.which(tool):
                raise NeedError(f"the screenshot needs '{tool}' (packages xvfb, x11-apps, "
                                "imagemagick)")
        if not MARLETT.is_file():
            raise NeedError(f"the screenshot needs Wine's Marlett font {MARLETT} "
                            "(package fonts-wine)")
    return Lifecycle(options).run()


# ------------------------------------------------------------------ report

def _guid_cell(g):
    return "(none)" if g is None else g


def report_text(result: LifecycleResult) -> str:
    machines = result.machines
    boot = result.boot
    rows = []

    def row(label, cells):
        rows.append((label, [str(c) for c in cells]))

    row("adapter (MAC)", [m.mac for m in machines])
    row("identity registered", [m.identity_registered or "(none)" for m in machines])
    row("identity of this machine", [",".join(m.identity_seen) or "(none)" for m in machines])
    row("GUID before", [_guid_cell(m.guid_before) for m in machines])
    row("GUID after", [_guid_cell(m.guid_after) if m.guid_after != m.guid_before
                       else "unchanged" for m in machines])
    row("console requests", [_requests_cell(m) for m in machines])
    row("listener start type", [START_TYPES.get(m.listener_start, m.listener_start)
                                for m in machines])
    for s in SERVICES:
        row(f"service {s}", [STATES.get(m.service_states.get(s), m.service_states.get(s))
                             for m in machines])
    row("client's Run value", [_client_run_cell(m) for m in machines])
    row("client's program", ["launched" if m.program_launched else "not launched"
                             for m in machines])
    row("utility's Run value", ["gone" if m.own_run_value is None else "still there"
                                for m in machines])
    if boot:
        row(f"service {BOOT_SERVICE}", ["gone" if m.boot_service is None else
                                        f"still there ({service_cell(m.boot_service)})"
                                        for m in machines])
    row(f"{EXE_NAME} queued to delete", ["yes" if m.queued_for_deletion else "no"
                                         for m in machines])
    row("after the next restart", [{None: "(not looked at)", True: f"{EXE_NAME} still there",
                                    False: f"{EXE_NAME} gone"}[m.exe_after_restart]
                                   for m in machines])
    if boot:
        row("messages recorded", [len(m.messages) or "none" for m in machines])
        row("exit code (log) / LastResult", [f"{_code_cell(m.exit_code)} / "
                                             f"{_code_cell(m.last_result)}" for m in machines])
        for name in ("LastMode", "ServerStatus"):
            row(name, [_code_cell(m.outcome.get(name)) for m in machines])
    else:
        row("message boxes", [len(m.boxes) or "none" for m in machines])
        row("exit code / LastResult", [f"{_code_cell(m.exit_code)} / "
                                       f"{_code_cell(m.last_result)}" for m in machines])
    width = max(len(label) for label, _ in rows)
    cols = [max([len(m.name)] + [len(cells[i]) for _, cells in rows])
            for i, m in enumerate(machines)]
    lines = ["  ".join([" " * width] + [m.name.ljust(c) for m, c in zip(machines, cols)]),
             "  ".join(["-" * width] + ["-" * c for c in cols])]
    for label, cells in rows:
        lines.append("  ".join([label.ljust(width)] + [v.ljust(c) for v, c in zip(cells, cols)]))
    lines = [line.rstrip() for line in lines]
    lines.append("")
    for m in machines:
        for req in m.requests:
            lines.append(f"{m.name} console: {req}")
        for b in m.boxes:
            lines.append(f"{m.name} message box [{b['caption']}]: {b['text']!r}")
    for m in machines:
        if not m.same_host:
            lines.append("")
            lines.append(f"{m.name}'s run in {LOG_PATH}:" if m.run_log else
                         f"{m.name}'s run is not in {LOG_PATH}")
            lines += [f"  {line}" for line in m.run_log]
    lines.append("")
    if boot:
        lines.append("Time of each run, restart to the service's end (its run alone), by the "
                     "log's times to the second, beside the pauses it must make:")
    else:
        lines.append("Time of each run, logon to the utility's end (its process alone), beside "
                     "the pauses it must make:")
    for m in machines:
        if m.wall_s is None:
            lines.append(f"  {m.name:8} did not end" if m.started else
                         f"  {m.name:8} the boot-time service did not run" if boot else
                         f"  {m.name:8} the utility did not start")
            continue
        ratio = f", {m.wall_s * 1000 / m.pauses_ms:.2f} x" if m.pauses_ms else ""
        lines.append(f"  {m.name:8} {m.wall_s:6.1f} s ({m.lifetime_s:.1f} s)   pauses "
                     f"{m.pauses_ms / 1000:5.1f} s{ratio}")
    for m in machines:
        if m.screenshot or m.screenshot_note:
            lines.append(f"Screenshot of {m.name}'s progress dialog: "
                         f"{m.screenshot or '(none)'} ({m.screenshot_note})")
    return "\n".join(lines)


def _code_cell(code) -> str:
    return "(none)" if code is None else str(code)


def _requests_cell(m: MachineReport) -> str:
    if not m.requests:
        return "no request"
    uid = re.search(r"[?&]UID=([^& ]*)", m.requests[0])
    first = f"UID={uid.group(1)[:8]}..." if uid else m.requests[0][:24]
    if m.guid_after and uid and uid.group(1) == m.guid_after:
        first += " (new GUID)"
    return first if len(m.requests) == 1 else f"{len(m.requests)} requests, 1st {first}"


def _client_run_cell(m: MachineReport) -> str:
    if m.client_run_value is None:
        return "(absent)"
    return "restored" if m.client_run_restored() else "differs"
