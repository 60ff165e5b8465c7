"""Wine test bed for the end-to-end tests of norvane.exe (standard library only).

One quiet template prefix per test run (make_template), copied for every test
(Bed). A Bed keeps its own persistent wineserver, installs the client stand-in
(testbed/client.py), runs programs through nvrun.exe (message boxes answered
and logged) and reads the registry and service database through nvprobe.exe.
Leaving the Bed stops the services it created and ends its wineserver, also
when the test failed. Every subprocess runs under a time limit.

Environment (set by tests/e2e/CMakeLists.txt, or by hand):
  NORVANE_EXE              the norvane.exe to test
  NORVANE_TESTBED_DIR      folder with nvrun.exe, nvprobe.exe, standin_service.exe
  NORVANE_E2E_TEMPLATE     the template prefix (made by `winebed.py make-template DIR`)
  NORVANE_E2E_WORK         where per-test prefixes go (default: system temp folder)
  NORVANE_E2E_KEEP=1       keep the per-test prefixes (and nvrun logs) for inspection

Command line:
  winebed.py make-template DIR     create a template prefix
"""

from __future__ import annotations

import contextlib
import json
import re
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path, PureWindowsPath

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent
sys.path.insert(0, str(REPO / "testbed"))

import client  # noqa: E402  (testbed/client.py)

OWN_RUN_VALUE = "Halvex Wardline Norvane"
CAPTION = "Wardline Norvane Utility"
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
TEMPLATE_MARK = "norvane-template.ok"
NVRUN_TIMEOUT_EXIT = 124
READ_COMMANDS = ("reg", "svc", "cp", "msg", "window", "shared", "netbios")


class BedError(RuntimeError):
    pass


# What Wine shows of the event log: ReportEventA and ReportEventW are stubs
# that trace their arguments (fixme, advapi: type, category and ID in hex),
# and ReportEventW each string on a line of its own (eventlog: err for an
# error event, warn for a warning, trace otherwise), escaped, cut after
# about 200 characters (then "... follows), an empty one as L"".
EVENT_DEBUG = "-all,fixme+advapi,+eventlog"
_EVENT_CALL = re.compile(r"fixme:advapi:ReportEventW \(([^)]*)\)")
_EVENT_STRING = re.compile(r'(?:err|warn|trace):eventlog:ReportEventW L"(.*)"(\.\.\.)?$')
_ESCAPE = re.compile(r"\\(.)")
_UNESCAPED = {"n": "\n", "t": "\t", "r": "\r"}


@dataclass
class Event:
    """One event a program reported, as Wine traced it."""
    type: int
    id: int
    strings: list  # each string, a cut one ending in "..."


def parse_events(stderr: bytes) -> list:
    events = []
    for line in stderr.decode("latin-1").splitlines():
        call = _EVENT_CALL.search(line)
        if call:
            args = call.group(1).split(",")
            events.append(Event(int(args[1], 16), int(args[3], 16), []))
            continue
        string = _EVENT_STRING.search(line)
        if string and events:
            text = _ESCAPE.sub(lambda m: _UNESCAPED.get(m.group(1), m.group(1)), string.group(1))
            events[-1].strings.append(text + (string.group(2) or ""))
    return events


def wine_env(prefix: Path) -> dict:
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WINESERVER", "WINELOADER")}
    env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES=DLL_OVERRIDES,
               WINEARCH="win64")
    return env


def in_netns(cmd: list, netns: str | None) -> list:
    """cmd run inside the network namespace netns (ip netns), or as it is."""
    return ["ip", "netns", "exec", netns, *cmd] if netns else list(cmd)


def run(cmd, env, timeout: float, check=True, capture=True) -> subprocess.CompletedProcess:
    """Runs cmd with a time limit. Output goes to files, not pipes: Wine's
    background processes (services.exe, explorer.exe...) inherit the handles
    and would keep a pipe open long after the command ended."""
    cmd = [str(c) for c in cmd]
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            rc = subprocess.run(cmd, env=env, timeout=timeout, stdin=subprocess.DEVNULL,
                                stdout=out if capture else subprocess.DEVNULL,
                                stderr=err if capture else subprocess.DEVNULL).returncode
        except subprocess.TimeoutExpired as e:
            raise BedError(f"timed out after {timeout}s: {cmd}") from e
        out.seek(0)
        err.seek(0)
        cp = subprocess.CompletedProcess(cmd, rc, out.read(), err.read())
    if check and cp.returncode != 0:
        raise BedError(f"exit {cp.returncode}: {cmd}\n{cp.stdout!r}\n{cp.stderr!r}")
    return cp


def reg_import(env, reg_text: str, workdir: Path, timeout=60, netns: str | None = None):
    """Imports a REGEDIT4 text with regedit (exact for blanks and DWORDs)."""
    fd, name = tempfile.mkstemp(suffix=".reg", dir=workdir)
    with os.fdopen(fd, "wb") as f:
        f.write(reg_text.encode("latin-1"))
    try:
        for attempt in range(3):
            cp = run(in_netns(["wine", "regedit", "/S", "Z:" + name.replace("/", "\\")], netns),
                     env, timeout, check=attempt == 2)
            # Seen under load: wine ends with 1 before regedit ran. An import
            # is safe to repeat.
            if cp.returncode == 0:
                break
            print(f"winebed: regedit import gave exit {cp.returncode}; retrying", file=sys.stderr)
    finally:
        os.unlink(name)


def boot_prefix(prefix: Path, env, attempts: int = 3):
    """Creates the prefix with `wineboot -i`. Seen under load on a fresh
    machine: wineboot ends with 1 ("ShellExecuteEx failed: Internal error")
    before the prefix is complete. A half-made prefix is removed and made
    again; the last failure is raised."""
    prefix = Path(prefix)
    for attempt in range(1, attempts + 1):
        try:
            run(["wineboot", "-i"], env, 180)
            return
        except BedError as e:
            if attempt == attempts:
                raise
            print(f"winebed: creating {prefix} failed ({e}); trying again", file=sys.stderr)
            run(["wineserver", "-k"], env, 30, check=False)
            run(["wineserver", "-w"], env, 60, check=False)
            shutil.rmtree(prefix, ignore_errors=True)


# The service manager's start limit as Windows has it by default.
WINDOWS_START_LIMIT = (r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control",
                       "ServicesPipeTimeout", "30000")


def make_template(prefix: Path) -> float:
    """Creates a quiet, headless prefix; returns the seconds it took."""
    t0 = time.monotonic()
    prefix = Path(prefix)
    if prefix.exists():
        shutil.rmtree(prefix)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    env = wine_env(prefix)
    try:
        boot_prefix(prefix, env)
        # Headless windows and message boxes; no crash dialog from winedbg.
        # The service manager gives a starting service Windows' 30 s, not
        # Wine's 10 s (Wine reads the value as a text, once at its start: every
        # prefix copied from this one starts with it).
        reg_import(env, client.reg_file({
            r"HKEY_CURRENT_USER\Software\Wine\Drivers": {"Graphics": "null"},
            r"HKEY_CURRENT_USER\Software\Wine\WineDbg": {"ShowCrashDialog": client.Dword(0)},
            WINDOWS_START_LIMIT[0]: {WINDOWS_START_LIMIT[1]: WINDOWS_START_LIMIT[2]},
        }), prefix.parent)
    finally:
        run(["wineserver", "-k"], env, 30, check=False)
        run(["wineserver", "-w"], env, 60, check=False)
    (prefix / TEMPLATE_MARK).write_text("ok\n")
    return time.monotonic() - t0


@dataclass
class Box:
    caption: str
    text: str
    icon: str
    buttons: list
    answer: int

    @staticmethod
    def from_record(r: dict) -> "Box":
        return Box(r["caption"], r["text"], r.get("icon", ""), r.get("buttons", []),
                   r.get("answer", 0))


@dataclass
class RunResult:
    exit_code: int
    boxes: list  # Box, in the order they appeared
    dialogs: list  # captions of other dialogs seen
    records: list = field(default_factory=list)
    seconds: float = 0.0
    events: list = field(default_factory=list)  # Event, of every program the run started

    @property
    def timed_out(self) -> bool:
        return any(r.get("kind") == "timeout" for r in self.records)


class Bed:
    """One test's prefix: a copy of the template with its own wineserver.

    With netns, the prefix is a machine on hardware of its own: its
    wineserver and every Wine program of it run inside that network
    namespace, so Wine sees that namespace's adapters."""

    def __init__(self, name: str, template: str | Path | None = None,
                 testbed_dir: str | Path | None = None, work: str | Path | None = None,
                 netns: str | None = None, wine_start_limit: bool = False):
        self.template = Path(template or os.environ["NORVANE_E2E_TEMPLATE"])
        # True: the service manager keeps Wine's own 10 s start limit.
        self.wine_start_limit = wine_start_limit
        self.testbed_dir = Path(testbed_dir or os.environ["NORVANE_TESTBED_DIR"])
        work_root = Path(work or os.environ.get("NORVANE_E2E_WORK") or tempfile.gettempdir())
        work_root.mkdir(parents=True, exist_ok=True)
        self.dir = Path(tempfile.mkdtemp(prefix=f"{name}-", dir=work_root))
        self.prefix = self.dir / "prefix"
        self.env = wine_env(self.prefix)
        self.netns = netns
        self.keep = os.environ.get("NORVANE_E2E_KEEP") == "1"
        self._services: list[str] = []
        self._background: list[subprocess.Popen] = []
        self._watchdog: subprocess.Popen | None = None
        self._started = False
        self._serving = False
        for tool in ("nvrun.exe", "nvprobe.exe", "standin_service.exe"):
            if not (self.testbed_dir / tool).is_file():
                raise BedError(f"{self.testbed_dir / tool} missing: build the windows preset")

    # --- life cycle -------------------------------------------------------
    def __enter__(self) -> "Bed":
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        self.close()

    def start(self):
        if not (self.template / TEMPLATE_MARK).exists():
            raise BedError(f"no template prefix at {self.template}")
        run(["cp", "-a", self.template, self.prefix], None, 120)
        self._started = True
        if self.wine_start_limit:
            # Before the prefix's service manager first starts: it reads the
            # value only then.
            system_reg = self.prefix / "system.reg"
            line = f'"{WINDOWS_START_LIMIT[1]}"="{WINDOWS_START_LIMIT[2]}"'
            text = system_reg.read_text(encoding="latin-1")
            if line not in text:
                raise BedError(f"the template has no {line}")
            system_reg.write_text(text.replace(line + "\n", ""), encoding="latin-1")
        self.serve()

    def serve(self):
        """Starts the prefix's persistent wineserver; the first Wine program
        then opens the session (auto-start services, pending renames)."""
        # The server daemonizes: give it no pipes to hold open.
        run(in_netns(["wineserver", "-p"], self.netns), self.env, 30, capture=False)
        self._serving = True
        if self._watchdog is None:
            # If this process is killed (a ctest time-out sends SIGKILL), a
            # watchdog in its own session still ends the prefix's wineserver.
            self._watchdog = subprocess.Popen(
                ["sh", "-c", 'while kill -0 "$1" 2>/dev/null; do sleep 1; done; '
                 'timeout 30 wineserver -k', "watchdog", str(os.getpid())],
                env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True)

    def shutdown(self):
        """Ends the session as a clean shut-down does, the prefix stays: the
        client's services are stopped first (Wine sends services no shutdown
        control), then the wineserver ends and writes the registry."""
        if not self._serving:
            return
        try:
            if self._services:
                self.probe("svc-stop", *self._services, check=False, timeout=30)
        except BedError:
            pass
        run(["wineserver", "-k"], self.env, 30, check=False)
        run(["wineserver", "-w"], self.env, 60, check=False)
        for p in self._background:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait(timeout=10)
        self._background = []
        self._serving = False

    def boot(self):
        """Starts the machine again after shutdown(): a new session, and
        `wineboot -r` carries out what waits for a restart (pending renames and
        deletions). Does not log on: the Run key's programs do not start."""
        self.serve()
        self.wine("wineboot", "-r", timeout=120)

    def close(self):
        if self._started:
            self.shutdown()
            if self._watchdog:
                self._watchdog.kill()
                self._watchdog.wait(timeout=10)
                self._watchdog = None
            self._started = False
        if self.keep:
            print(f"kept {self.dir}", file=sys.stderr)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)

    # --- paths --------------------------------------------------------------
    def c_path(self, win_path: str) -> Path:
        """The Unix path of a C:\\ path inside this prefix."""
        p = PureWindowsPath(win_path)
        if p.drive.upper() != "C:":
            raise ValueError(win_path)
        return self.prefix.joinpath("drive_c", *p.parts[1:])

    @staticmethod
    def z_path(unix_path: str | Path) -> str:
        return "Z:" + str(unix_path).replace("/", "\\")

    def testbed_exe(self, name: str) -> Path:
        return self.testbed_dir / name

    # --- running ------------------------------------------------------------
    def wine(self, *args, timeout: float = 60, check=True,
             debug: str = "") -> subprocess.CompletedProcess:
        env = dict(self.env, WINEDEBUG=debug) if debug else self.env
        return run(in_netns(["wine", *args], self.netns), env, timeout, check=check)

    def popen_wine(self, *args) -> subprocess.Popen:
        """A Wine program left running; its output goes nowhere (no pipes)."""
        return subprocess.Popen(in_netns(["wine", *args], self.netns), env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def regedit_import(self, reg_text: str):
        reg_import(self.env, reg_text, self.dir, netns=self.netns)

    def own_services(self, names):
        """Services to stop when the bed closes."""
        self._services += [n for n in names if n not in self._services]

    def probe(self, *args, check=True, timeout: float = 60):
        for attempt in range(3):
            cp = self.wine(self.testbed_exe("nvprobe.exe"), *args, timeout=timeout, check=False)
            out = cp.stdout.decode("latin-1").strip()
            # Seen rarely under load: wine ends with 1 and no output before the
            # program ran. Reads are safe to repeat; writes are not.
            if out or cp.returncode == 0 or args[0] not in READ_COMMANDS:
                break
            print(f"winebed: nvprobe {args} gave exit {cp.returncode} without output; "
                  f"retrying", file=sys.stderr)
        if check and cp.returncode != 0:
            raise BedError(f"nvprobe {args}: exit {cp.returncode}: {out} {cp.stderr!r}")
        try:
            return json.loads(out.splitlines()[-1]) if out else {}
        except json.JSONDecodeError as e:
            raise BedError(f"nvprobe {args}: bad output {out!r}") from e

    @contextlib.contextmanager
    def holding(self, win_path: str, timeout: float = 30):
        """Another program holds the file open for reading and shares nothing
        (as a user's reader may) for the time of the block."""
        proc = subprocess.Popen(
            in_netns(["wine", str(self.testbed_exe("nvprobe.exe")), "hold", win_path], self.netns),
            env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL)
        try:
            ready, _, _ = select.select([proc.stdout], [], [], timeout)
            line = proc.stdout.readline().decode("latin-1") if ready else ""
            if '"held"' not in line:
                raise BedError(f"nvprobe hold {win_path}: {line!r}")
            yield
        finally:
            proc.stdin.close()
            proc.wait(timeout=timeout)
            proc.stdout.close()

    def set_version(self, exe_name: str, version: str):
        self.regedit_import(client.reg_file({
            "HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\" + exe_name: {"Version": version}}))

    def install_client(self, options: client.ClientOptions | None = None) -> client.InstalledClient:
        return client.install_client(self, options)

    def install_exe(self, source: str | Path, win_path: str) -> str:
        dest = self.c_path(win_path)
        dest.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, dest)
        return win_path

    def run_program(self, win_path: str, *args, timeout_ms: int = 120000,
                    answers=(), dialog: str = "", dialog_answer: str = "IDOK",
                    fills=()) -> RunResult:
        """Runs a program through nvrun.exe; returns its boxes and exit code.
        The dialog captioned `dialog` gets the fills ((control id, text)) and
        is answered with dialog_answer."""
        log = self.dir / f"nvrun-{time.monotonic_ns()}.jsonl"
        cmd = [self.testbed_exe("nvrun.exe"), "--timeout", str(timeout_ms), "--log",
               self.z_path(log)]
        for a in answers:
            cmd += ["--answer", a]
        if dialog:
            cmd += ["--dialog", dialog, "--dialog-answer", dialog_answer]
            for control, text in fills:
                cmd += ["--fill", f"{control}={text}"]
        for attempt in range(3):
            t0 = time.monotonic()
            cp = self.wine(*cmd, "--", win_path, *args, timeout=timeout_ms / 1000 + 30,
                           check=False, debug=EVENT_DEBUG)
            seconds = time.monotonic() - t0
            # nvrun creates its log before it starts the program: without a log
            # nothing ran (a rare start failure of wine under load), so a
            # second try is safe.
            if log.exists():
                break
            print(f"winebed: nvrun did not start (exit {cp.returncode}); retrying",
                  file=sys.stderr)
        records = []
        if log.exists():
            for line in log.read_bytes().decode("latin-1").splitlines():
                if line.strip():
                    records.append(json.loads(line))
        boxes = [Box.from_record(r) for r in records if r.get("kind") == "msgbox"]
        dialogs = [r["caption"] for r in records if r.get("kind") == "dialog"]
        if any(r.get("kind") == "start_failed" for r in records) or cp.returncode in (125, 127):
            raise BedError(f"nvrun could not run {win_path}: {cp.returncode} {cp.stderr!r}")
        return RunResult(cp.returncode, boxes, dialogs, records, seconds,
                         parse_events(cp.stderr))

    def program_events(self, win_path: str) -> list:
        """The JSON-lines log of a standin_client.exe copy (its path + ".log")."""
        log = self.c_path(win_path + ".log")
        if not log.exists():
            return []
        return [json.loads(line) for line in log.read_bytes().decode("latin-1").splitlines()
                if line.strip()]

    def start_background(self, win_path: str, *args, timeout: float = 20):
        """Starts a standin_client.exe copy and waits until it has its window."""
        started = sum(e["event"] == "started" for e in self.program_events(win_path))
        self._background.append(self.popen_wine(win_path, *args))
        deadline = time.monotonic() + timeout
        while sum(e["event"] == "started" for e in self.program_events(win_path)) <= started:
            if time.monotonic() > deadline:
                raise BedError(f"{win_path} did not start within {timeout} s")
            time.sleep(0.05)

    # --- state --------------------------------------------------------------
    def reg_value(self, root: str, key: str, name: str) -> dict | None:
        """{"type": "REG_SZ", "data": ...} or None when the key or value is missing."""
        r = self.probe("reg", root, key, name)
        if r["status"] == "missing":
            return None
        if r["status"] != "ok":
            raise BedError(f"reg {root}\\{key} {name}: {r}")
        return r["value"]

    def reg_values(self, root: str, key: str) -> dict | None:
        """All values of a key by name, or None when the key is missing."""
        r = self.probe("reg", root, key)
        if r["status"] == "missing":
            return None
        if r["status"] != "ok":
            raise BedError(f"reg {root}\\{key}: {r}")
        return r["values"]

    def run_values(self) -> dict:
        return self.reg_values("HKLM", client.RUN_KEY) or {}

    def service(self, name: str) -> dict | None:
        r = self.probe("svc", name)
        if r["status"] == "missing":
            return None
        if r["status"] != "ok":
            raise BedError(f"svc {name}: {r}")
        return r


def host_adapter_ids() -> set:
    """12-digit lowercase MAC texts of the host's real adapters (no loopback)."""
    ids = set()
    for iface in Path("/sys/class/net").iterdir():
        try:
            mac = (iface / "address").read_text().strip().replace(":", "").lower()
        except OSError:
            continue
        if len(mac) == 12 and mac != "000000000000":
            ids.add(mac)
    return ids


def main(argv):
    if len(argv) == 3 and argv[1] == "make-template":
        seconds = make_template(Path(argv[2]))
        print(f"template prefix {argv[2]} ready in {seconds:.1f} s")
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))


# --- unittest support ----------------------------------------------------------
import unittest  # noqa: E402

NORVANE_WIN_PATH = r"C:\Program Files\Norvane Test\norvane.exe"
# How long a test waits for a state before it fails: far past what a loaded
# machine needs, and still within the test's own time-out.
STATE_WAIT_S = 300
MSG_CONFIGURED = "This program has been configured to start  whenever the system is restarted."
MSG_OLD_NT = "Norvane Utility cannot be used in Windows NT 3.51 environment."
OUTCOME_KEY = r"SOFTWARE\Norvane"
EVENT_SOURCE_KEY = r"SYSTEM\CurrentControlSet\Services\EventLog\Application\Norvane"
EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_INFORMATION_TYPE = 1, 2, 4
LOG_PATH = r"C:\ProgramData\Norvane\norvane.log"


class BedTestCase(unittest.TestCase):
    """A test with its own prefix (self.bed), closed after the test."""

    # True: the prefix's service manager keeps Wine's 10 s start limit.
    WINE_START_LIMIT = False

    def setUp(self):
        name = self.id().rsplit(".", 2)[-2:]
        self.bed = Bed("-".join(name), wine_start_limit=self.WINE_START_LIMIT)
        self.bed.__enter__()
        self.addCleanup(self.bed.__exit__, None, None, None)

    def install_norvane(self, win_path: str = NORVANE_WIN_PATH) -> str:
        exe = os.environ.get("NORVANE_EXE", "")
        if not os.path.isfile(exe):
            self.fail(f"norvane.exe not found (NORVANE_EXE={exe!r}): build the windows preset")
        return self.bed.install_exe(exe, win_path)

    def run_norvane(self, *args, win_path: str = NORVANE_WIN_PATH, timeout_ms: int = 120000,
                    answers=(), **dialogs) -> RunResult:
        result = self.bed.run_program(win_path, *args, timeout_ms=timeout_ms, answers=answers,
                                      **dialogs)
        self.assertFalse(result.timed_out and not result.dialogs,
                         f"norvane.exe did not end within {timeout_ms} ms: {result.records}")
        return result

    def service_config(self, name: str) -> dict | None:
        """The service's configuration without its run state."""
        svc = self.bed.service(name)
        if svc is not None:
            svc = {k: v for k, v in svc.items() if k not in ("state", "status")}
        return svc

    def state_snapshot(self, services=("hxlisten", "rtguard")) -> dict:
        """What preparation may change: Run values and the client's services."""
        return {"run": self.bed.run_values(),
                "services": {s: self.service_config(s) for s in services}}

    def assert_single_box(self, result: RunResult, text: str, icon: str):
        self.assertEqual(len(result.boxes), 1, result.records)
        box = result.boxes[0]
        self.assertEqual(box.caption, CAPTION)
        self.assertEqual(box.text, text)
        self.assertEqual(box.icon, icon)

    def assert_registered(self, exe_win_path: str = NORVANE_WIN_PATH) -> str:
        """Checks the utility's own Run value; returns the host identity in it."""
        value = self.bed.run_values().get(OWN_RUN_VALUE)
        self.assertIsNotNone(value, "own Run value missing")
        self.assertEqual(value["type"], "REG_SZ")
        self.assertTrue(value.get("terminated"), "REG_SZ stored without its NUL")
        m = re.fullmatch(r'"(.*)" "/(.*)" -HideWindow', value["data"])
        self.assertIsNotNone(m, value["data"])
        self.assertEqual(m.group(1), exe_win_path)
        identity = m.group(2)
        # Wine's NetBIOS has one LANA whose address is one of the host's adapters.
        self.assertRegex(identity, r"^[0-9a-f]{12}$")
        self.assertIn(identity, host_adapter_ids())
        return identity

    def assert_one_event(self, result: RunResult, number: int, event_type: int,
                         mode: str, exit_code: int) -> Event:
        """The run reported one event, with this number (its low 16 bits),
        type, mode and exit code as its first strings; returns it."""
        self.assertEqual(len(result.events), 1, result.events)
        event = result.events[0]
        self.assertEqual((event.id & 0xFFFF, event.type), (number, event_type), event)
        self.assertEqual(event.id >> 30, {4: 1, 2: 2, 1: 3}[event_type], "severity bits")
        self.assertEqual(event.strings[0], f"mode: {mode}", event)
        self.assertRegex(event.strings[1], rf"^exit code: {exit_code} \(", event)
        self.assertTrue(event.strings[2].startswith("reason: "), event)
        return event

    def outcome(self) -> dict:
        """The outcome values of the last run by name (REG_DWORD as numbers)."""
        values = self.bed.reg_values("HKLM", OUTCOME_KEY) or {}
        return {name: v["data"] for name, v in values.items()}

    def log_lines(self) -> list:
        """The lines of the machine's log (every run's)."""
        path = self.bed.c_path(LOG_PATH)
        if not path.exists():
            return []
        lines = path.read_bytes().decode("latin-1").split("\r\n")
        return lines[:-1] if lines[-1] == "" else lines

    def wait_until(self, state, what: str, seconds: float = STATE_WAIT_S):
        """Waits for state() to hold, looking five times a second; fails
        saying what was awaited when it has not come after seconds."""
        deadline = time.monotonic() + seconds
        while not state():
            if time.monotonic() > deadline:
                self.fail(f"not so after {seconds} s: {what}\n" + "\n".join(self.log_lines()))
            time.sleep(0.2)

    def runs_ended(self, since: int = 0) -> bool:
        """Whether a run has begun a line of the log from index since on, and
        every run begun there has written its "Finished" line."""
        lines = self.log_lines()[since:]
        begun = sum(" Started on " in line for line in lines)
        return begun > 0 and sum(" Finished with exit code " in line for line in lines) >= begun

    def wait_runs_ended(self, since: int = 0, seconds: float = STATE_WAIT_S):
        self.wait_until(lambda: self.runs_ended(since), f"every run since log line {since} ended",
                        seconds)

    def assert_nothing_shown(self, result: RunResult):
        """No message box, dialog or other visible window of the program."""
        shown = [r for r in result.records if r.get("kind") in ("msgbox", "dialog", "window")]
        self.assertEqual(shown, [], result.records)

    def system_text(self, code: int) -> str:
        r = self.bed.probe("msg", str(code))
        self.assertEqual(r["status"], "ok", f"no system text for {code}")
        return r["text"]
