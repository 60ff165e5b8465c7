"""The benchmarks, measured side by side in one run and written to
bench/RESULTS.md (run through bench/run.sh, which builds what they need).

    python3 bench/bench.py [--runs N] [--no-suite] [--out FILE]

Copy run overhead: an NT copy's first logon under Wine (the client's three
programs and both services running, the console stand-in answering the
notification at once; tests/e2e/copybed.py's NotifyingCopyTestCase sets it
up), the utility's run timed by nvrun.exe from its start to its exit, divided
by the pauses the same scenario makes on the fake's virtual clock
(bench/copy_pauses). Start to dialog: bench/dlgtimer.exe in the same warm
session, norvane.exe started with its Run value's command line, beside the
minimal dialog program (bench/mindialog.exe). Memory: the peak working set
that nvrun.exe reads of norvane.exe over the copy run, and of the minimal
program. Size: the built programs. Test suite: the native unit tests
through ctest, and the whole test command (tools/test-all.sh).
"""

from __future__ import annotations

import datetime
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
BUILD = REPO / "build"
sys.path.insert(0, str(REPO / "tests" / "e2e"))
os.environ.setdefault("NORVANE_EXE", str(BUILD / "windows" / "src" / "norvane.exe"))
os.environ.setdefault("NORVANE_TESTBED_DIR", str(BUILD / "windows" / "testbed"))
os.environ.setdefault("NORVANE_E2E_TEMPLATE", str(BUILD / "bench" / "template"))
os.environ.setdefault("NORVANE_E2E_WORK", str(BUILD / "bench" / "work"))

import copybed  # noqa: E402
import winebed  # noqa: E402

MINDIALOG = BUILD / "windows" / "bench" / "mindialog.exe"
DLGTIMER = BUILD / "windows" / "bench" / "dlgtimer.exe"
COPY_PAUSES = BUILD / "native" / "bench" / "copy_pauses"
MINDIALOG_WIN = r"C:\bench\mindialog.exe"
# The minimal program with norvane.exe's imports and manifest: what those
# DLLs cost a program that does nothing else.
IMPORTS = BUILD / "windows" / "bench" / "mindialog_imports.exe"
IMPORTS_WIN = r"C:\bench\mindialog_imports.exe"
MINDIALOG_CAPTION = "Minimal dialog"
COPY_PROGRAMS = ("main", "update", "monitor")
TRACED_RUNS = 3

GOAL_OVERHEAD = 1.03
GOAL_START_MS = 100
GOAL_START_RATIO = 1.2
GOAL_MEMORY_RATIO = 1.5
GOAL_SIZE = 480 * 1024


def run(cmd, timeout: float, **kw) -> subprocess.CompletedProcess:
    return subprocess.run([str(c) for c in cmd], timeout=timeout, check=True,
                          stdin=subprocess.DEVNULL, capture_output=True, **kw)


class BenchCopy(copybed.NotifyingCopyTestCase):
    """The copy of the e2e tests, driven by hand rather than by unittest."""

    def runTest(self):  # unittest wants a method to name the case by
        pass

    def dialog_times(self, commands: list, runs: int, trace: bool = False):
        """The runs' times per command (taking turns); with trace, the Wine
        trace of the runs as well."""
        env = dict(self.bed.env)
        if trace:
            env["WINEDEBUG"] = "+timestamp,+loaddll,+dialog,+process"
        cp = winebed.run(["wine", DLGTIMER, str(runs), *commands], env,
                         30 + runs * 15 * len(commands))
        times = [[] for _ in commands]
        for line in cp.stdout.decode().splitlines():
            index, ms = line.split()
            times[int(index)].append(float(ms))
        return (times, cp.stderr.decode("latin-1")) if trace else times

    def peak(self, win_path: str):
        """A minimal program's peak working set (nvrun.exe closes its dialog)
        and its resident memory by mapping."""
        sampler = RssSampler(win_path.rsplit("\\", 1)[-1])
        sampler.start()
        result = self.bed.run_program(win_path, dialog=MINDIALOG_CAPTION,
                                      dialog_answer="IDCANCEL")
        return exit_record(result)["peak_working_set"], sampler.stop()


TRACE_LINE = re.compile(r"^(?P<t>\d+\.\d+):(?P<tid>[0-9a-f]+):trace:(?P<channel>\w+):(?P<text>.*)$")


def start_phases(trace: str, times: list) -> list:
    """Where each traced run's time to its dialog goes, from Wine's trace:
    [{"phases": [(what, ms)], "dlls": n}] in the order the runs were made."""
    lines = [m.groupdict() for m in map(TRACE_LINE.match, trace.splitlines()) if m]
    runs, started = [], None
    for line in lines:
        text = line["text"]
        if text.startswith("CreateProcessInternalW app"):
            started = float(line["t"])
        elif text.startswith("CreateProcessInternalW started process") and started is not None:
            runs.append((started, re.search(r"tid ([0-9a-f]+)", text).group(1)))
    out = []
    for (t0, tid), ms in zip(runs, times):
        own = [l for l in lines if l["tid"] == tid]
        loads = [l for l in own if l["channel"] == "loaddll"]
        dialog = next(l for l in own if l["channel"] == "dialog")
        before = [l for l in loads if float(l["t"]) <= float(dialog["t"])]
        t_exe, t_dlls, t_dialog = (float(loads[0]["t"]), float(before[-1]["t"]),
                                   float(dialog["t"]))
        t_visible = t0 + ms / 1000
        names = [re.search(r'Loaded L"(?:.*\\\\)?([^"\\]+)"', l["text"]) for l in before[1:]]
        out.append({"dlls": len(before) - 1,
                    "names": sorted({n.group(1).lower() for n in names if n}),
                    "phases": [
            ("process created, program mapped", (t_exe - t0) * 1000),
            ("DLLs loaded and Wine's per-process set-up", (t_dlls - t_exe) * 1000),
            ("from there to the dialog's creation (the program's own work, the DLLs' "
             "set-up)", (t_dialog - t_dlls) * 1000),
            ("dialog created and shown", (t_visible - t_dialog) * 1000)]})
    return out


def median_phases(runs: list, programs: int) -> list:
    """Per program (runs taking turns), the median of each phase."""
    out = []
    for index in range(programs):
        own = runs[index::programs]
        out.append({"dlls": own[0]["dlls"], "names": own[0]["names"],
                    "phases": [(what, statistics.median(r["phases"][k][1] for r in own))
                               for k, (what, _) in enumerate(own[0]["phases"])]})
    return out


class RssSampler(threading.Thread):
    """Samples the resident memory of the Linux process running a Windows
    program (Wine names it by the program's path) by mapping, keeping the
    sample with the largest total: what the peak working set is made of."""

    def __init__(self, exe_name: str):
        super().__init__(daemon=True)
        self.exe_name = exe_name.lower()
        self.best: dict = {}
        self.done = threading.Event()

    def run(self):
        pid = None
        while not self.done.is_set():
            pid = pid if pid and Path(f"/proc/{pid}").exists() else self._find()
            if pid:
                sample = self._sample(pid)
                if sample and (not self.best or sum(sample["sample"].values()) >
                               sum(self.best["sample"].values())):
                    self.best = sample
            self.done.wait(0.02)

    def stop(self) -> dict:
        self.done.set()
        self.join(timeout=10)
        return self.best

    def _find(self):
        for proc in Path("/proc").iterdir():
            if proc.name.isdigit():
                try:
                    argv0 = (proc / "cmdline").read_bytes().split(b"\0")[0].decode("latin-1")
                except OSError:
                    continue
                if argv0.lower().replace("/", "\\").endswith("\\" + self.exe_name):
                    return proc.name
        return None

    @staticmethod
    def _sample(pid: str) -> dict:
        """Resident kB by what is mapped: a module's stem (its PE and Unix
        halves together), or the kind of anonymous memory."""
        out, name = {}, None
        try:
            text = Path(f"/proc/{pid}/smaps").read_text()
        except OSError:
            return out
        for line in text.splitlines():
            fields = line.split()
            if "-" in fields[0] and len(fields) >= 5 and not fields[0].endswith(":"):
                path = " ".join(fields[5:])  # paths may hold blanks
                if not path:
                    name = "anonymous (heaps, stacks)"
                elif path.startswith("["):
                    name = "anonymous (heaps, stacks)" if path in ("[heap]", "[stack]") else path
                else:
                    name = Path(path).name.lower()
                    for suffix in (".so", ".dll", ".exe", ".drv", ".nls"):
                        name = name.removesuffix(suffix)
            elif fields[0] == "Rss:" and name is not None:
                out[name] = out.get(name, 0) + int(fields[1])
        try:
            status = Path(f"/proc/{pid}/status").read_text()
            threads = int(re.search(r"^Threads:\s*(\d+)", status, re.M).group(1))
        except (OSError, AttributeError):
            threads = 0
        return {"sample": out, "threads": threads} if out else {}


def exit_record(result: winebed.RunResult) -> dict:
    records = [r for r in result.records if r.get("kind") == "exit"]
    if not records:
        raise RuntimeError(f"the program did not end: {result.records}")
    return records[0]


def wine_figures(runs: int) -> dict:
    template = Path(os.environ["NORVANE_E2E_TEMPLATE"])
    if not (template / winebed.TEMPLATE_MARK).exists():
        print("bench: making a template prefix ...", flush=True)
        winebed.make_template(template)
    case = BenchCopy()
    case.setUp()
    try:
        case.notifying_copy()
        for role in COPY_PROGRAMS:
            case.bed.start_background(case.client.programs[role], "--role", role)
        case.bed.install_exe(MINDIALOG, MINDIALOG_WIN)
        case.bed.install_exe(IMPORTS, IMPORTS_WIN)

        commands = [case.own_command(), f'"{MINDIALOG_WIN}"', f'"{IMPORTS_WIN}"']
        print(f"bench: start to dialog, {runs} runs each ...", flush=True)
        norvane_starts, minimal_starts, imports_starts = case.dialog_times(commands, runs)
        traced, trace = case.dialog_times(commands, TRACED_RUNS, trace=True)
        in_order = [traced[i % len(commands)][i // len(commands)]
                    for i in range(TRACED_RUNS * len(commands))]
        phases = median_phases(start_phases(trace, in_order), len(commands))

        minimal_peak, minimal_rss = case.peak(MINDIALOG_WIN)
        imports_peak, imports_rss = case.peak(IMPORTS_WIN)

        print("bench: the copy's run ...", flush=True)
        sampler = RssSampler("norvane.exe")
        sampler.start()
        result = case.logon(timeout_ms=120000)
        copy_rss = sampler.stop()
        end = exit_record(result)
        if result.boxes or end["code"] != 0 or len(case.console.requests) != 1:
            raise RuntimeError(f"the copy's run went wrong: boxes {result.boxes}, exit "
                               f"{end['code']}, requests {case.requests()}")
        return {"copy_wall_ms": end["t_ms"], "copy_peak": end["peak_working_set"],
                "minimal_peak": minimal_peak, "norvane_starts": norvane_starts,
                "minimal_starts": minimal_starts, "start_phases": phases,
                "copy_rss": copy_rss, "minimal_rss": minimal_rss,
                "imports_starts": imports_starts, "imports_peak": imports_peak,
                "imports_rss": imports_rss}
    finally:
        case.doCleanups()


def timed(cmd, timeout: float, log: Path) -> tuple:
    t0 = time.monotonic()
    with open(log, "wb") as out:
        rc = subprocess.run(cmd, cwd=REPO, timeout=timeout, stdin=subprocess.DEVNULL,
                            stdout=out, stderr=subprocess.STDOUT).returncode
    return time.monotonic() - t0, rc


def machine() -> dict:
    model = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    wine = run(["wine", "--version"], 30).stdout.decode().strip()
    return {"cpu": model, "cores": os.cpu_count(), "kernel": platform.release(), "wine": wine,
            "load": " ".join(f"{x:.2f}" for x in os.getloadavg()),
            "os": Path("/etc/debian_version").read_text().strip()
            if Path("/etc/debian_version").exists() else platform.platform()}


def mark(ok: bool) -> str:
    return "met" if ok else "**missed**"


def report(m: dict, f: dict, command: str) -> str:
    now = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")
    lines = ["# Benchmarks", "",
             f"Measured {now} by `{command}`, in one run.", "",
             f"Machine: {m['cpu']}, {m['cores']} cores, Linux {m['kernel']}, "
             f"Debian {m['os']}, {m['wine']}. The machine is shared: load average "
             f"{m['load']} when the run began.", "",
             "| figure | measured | beside it | goal | |", "|---|---|---|---|---|"]
    ratio = f["copy_wall_ms"] / f["pauses_ms"]
    lines.append(f"| copy run overhead | {ratio:.3f} ({f['copy_wall_ms'] / 1000:.2f} s run) | "
                 f"{f['pauses_ms'] / 1000:.1f} s of pauses (virtual clock) | ≤ {GOAL_OVERHEAD} | "
                 f"{mark(ratio <= GOAL_OVERHEAD)} |")
    nv, mn = statistics.median(f["norvane_starts"]), statistics.median(f["minimal_starts"])
    lines.append(f"| start to dialog (median of {len(f['norvane_starts'])}) | {nv:.1f} ms | "
                 f"minimal dialog program {mn:.1f} ms ({nv / mn:.2f} ×) | ≤ {GOAL_START_MS} ms "
                 f"and ≤ {GOAL_START_RATIO} × | "
                 f"{mark(nv <= GOAL_START_MS and nv <= GOAL_START_RATIO * mn)} |")
    cp, mp = f["copy_peak"], f["minimal_peak"]
    lines.append(f"| peak working set | {cp / 2**20:.1f} MiB over the copy run | minimal dialog "
                 f"program {mp / 2**20:.1f} MiB ({cp / mp:.2f} ×) | ≤ {GOAL_MEMORY_RATIO} × | "
                 f"{mark(cp <= GOAL_MEMORY_RATIO * mp)} |")
    sizes = f["sizes"]
    for key, build in (("norvane", "x64"), ("norvane_x86", "x86")):
        if sizes.get(key):
            lines.append(f"| norvane.exe size, {build} | {sizes[key]:,} bytes "
                         f"({sizes[key] / 1024:.0f} KiB) | minimal dialog program "
                         f"{sizes['mindialog'] / 1024:.0f} KiB | < {GOAL_SIZE // 1024} KiB | "
                         f"{mark(sizes[key] < GOAL_SIZE)} |")
    lines.append(f"| native unit suite (`ctest --preset native -L unit`) | "
                 f"{f['unit_s']:.1f} s | {f['unit_tests']} tests | | |")
    if f.get("suite_s") is not None:
        state = "passed" if f["suite_rc"] == 0 else f"**failed** (exit {f['suite_rc']})"
        lines.append(f"| whole test command (`bash tools/test-all.sh`, warm build) | "
                     f"{f['suite_s'] / 60:.1f} min | {state} | | |")
    else:
        lines.append("| whole test command | not measured (--no-suite) | | | |")
    lines += ["", "Samples, ms from CreateProcessA to the dialog visible:", "",
              f"- norvane.exe: {', '.join(f'{x:.1f}' for x in f['norvane_starts'])}",
              f"- minimal dialog program: {', '.join(f'{x:.1f}' for x in f['minimal_starts'])}",
              ""]
    lines += start_text(f) + memory_text(f)
    return "\n".join(lines)


def start_text(f: dict) -> list:
    im = statistics.median(f["imports_starts"])
    lines = ["## Where the time to the dialog goes", "",
             f"Beside the two, the minimal program built with norvane.exe's imports and "
             f"manifest and nothing more (bench/mindialog_imports.exe): median "
             f"{im:.1f} ms ({', '.join(f'{x:.1f}' for x in f['imports_starts'])}). What it "
             f"adds to the minimal program is Wine's price for those DLLs; what norvane.exe "
             f"adds to it is the program's own.", "",
             f"{TRACED_RUNS} more runs of each with Wine's trace on (+timestamp, +loaddll, "
             f"+dialog, +process), split at the program's first mapping, its last DLL loaded "
             f"before the dialog and the dialog's creation; the median of each phase. Tracing "
             f"slows every program, and the "
             "trace's clock lags the timer's by a few milliseconds, so the last phase (timer "
             "minus trace) is only roughly right:", "",
             "| phase | norvane.exe | minimal | minimal + imports |", "|---|---|---|---|"]
    nv, mn, ip = f["start_phases"]
    for (what, a), (_, b), (_, c) in zip(nv["phases"], mn["phases"], ip["phases"]):
        lines.append(f"| {what} | {a:.1f} ms | {b:.1f} ms | {c:.1f} ms |")
    total = [sum(ms for _, ms in p["phases"]) for p in (nv, mn, ip)]
    lines += [f"| sum of the medians | {total[0]:.1f} ms | {total[1]:.1f} ms | "
              f"{total[2]:.1f} ms |",
              f"| DLLs loaded before the dialog | {nv['dlls']} | {mn['dlls']} | "
              f"{ip['dlls']} |", ""]
    extra = [n for n in nv.get("names", []) if n not in mn.get("names", [])]
    if extra:
        lines += [f"DLLs norvane.exe loads before its dialog that the minimal program does not: "
                  f"{', '.join(extra)}.", ""]
    return lines


def memory_text(f: dict) -> list:
    if not f["copy_rss"] or not f["minimal_rss"] or not f["imports_rss"]:
        return ["(The resident memory by mapping could not be sampled.)", ""]
    nv, mn, ip = (f[k]["sample"] for k in ("copy_rss", "minimal_rss", "imports_rss"))
    threads = (f["copy_rss"]["threads"], f["minimal_rss"]["threads"])
    lines = ["## What the working set holds", "",
             f"Peak working set of the minimal program with norvane.exe's imports and "
             f"manifest: {f['imports_peak'] / 2**20:.1f} MiB, "
             f"{f['imports_peak'] / f['minimal_peak']:.2f} × the minimal program's; "
             f"norvane.exe's is {f['copy_peak'] / f['imports_peak']:.2f} × that.", "",
             f"Resident memory by mapping, in the largest sample (every 20 ms) of each "
             f"program's Linux process: norvane.exe {sum(nv.values()) / 1024:.1f} MiB, the "
             f"minimal program {sum(mn.values()) / 1024:.1f} MiB (with the imports "
             f"{sum(ip.values()) / 1024:.1f} MiB); {threads[0]} and "
             f"{threads[1]} threads then. The largest differences (a module's PE and Unix "
             f"halves together):", "",
             "| mapping | norvane.exe | minimal | difference | minimal + imports |",
             "|---|---|---|---|---|"]
    diffs = sorted(nv.keys() | mn.keys(), key=lambda k: mn.get(k, 0) - nv.get(k, 0))
    for key in diffs[:12]:
        a, b = nv.get(key, 0), mn.get(key, 0)
        if a - b < 64:
            break
        lines.append(f"| {key} | {a / 1024:.2f} MiB | {b / 1024:.2f} MiB | "
                     f"+{(a - b) / 1024:.2f} MiB | {ip.get(key, 0) / 1024:.2f} MiB |")
    lines.append("")
    return lines


def main(argv: list) -> int:
    runs, suite, out = 10, True, HERE / "RESULTS.md"
    args = list(argv[1:])
    while args:
        a = args.pop(0)
        if a == "--runs":
            runs = int(args.pop(0))
        elif a == "--no-suite":
            suite = False
        elif a == "--out":
            out = Path(args.pop(0))
        else:
            print(__doc__, file=sys.stderr)
            return 2
    command = "bash bench/run.sh" + (" " + " ".join(argv[1:]) if argv[1:] else "")
    logs = BUILD / "bench"
    logs.mkdir(parents=True, exist_ok=True)

    m = machine()
    f = {"sizes": {"norvane": os.path.getsize(os.environ["NORVANE_EXE"]),
                   "mindialog": os.path.getsize(MINDIALOG)}}
    x86 = BUILD / "windows-x86" / "src" / "norvane.exe"
    if x86.exists():
        f["sizes"]["norvane_x86"] = os.path.getsize(x86)
    f["pauses_ms"] = int(run([COPY_PAUSES], 60).stdout.decode().split()[-1])
    f.update(wine_figures(runs))

    print("bench: native unit suite ...", flush=True)
    f["unit_s"], rc = timed(["ctest", "--preset", "native", "-L", "unit"], 1200,
                            logs / "unit.log")
    if rc != 0:
        print(f"bench: the unit suite failed, see {logs / 'unit.log'}", file=sys.stderr)
    f["unit_tests"] = next((line.split()[-1] for line in (logs / "unit.log").read_text()
                            .splitlines() if "tests failed out of" in line), "?")
    if suite:
        print("bench: the whole test command (several minutes) ...", flush=True)
        f["suite_s"], f["suite_rc"] = timed(["bash", "tools/test-all.sh"], 3600,
                                            logs / "test-all.log")
    (logs / "figures.json").write_text(json.dumps(f, indent=1))
    text = report(m, f, command)
    out.write_text(text + "\n")
    print(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
