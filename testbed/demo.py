#!/usr/bin/env python3
"""Demonstrates master-image preparation under Wine.

    testbed/demo.py [WINDOWS_BUILD_DIR]      (default: build/windows)

Makes a fresh Wine prefix, installs the client stand-in, shows the state an
administrator cares about, runs norvane.exe (its message boxes are answered
and printed), shows the state again side by side, and exits 0 when the
preparation did what it promises: listener on demand start, real-time service
untouched, the client's Run value gone, the utility registered with the host
identity. Needs wine and python3 only; takes about half a minute.
"""

import re
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import winebed  # noqa: E402
from winebed import client  # noqa: E402

START_TYPES = {2: "automatic", 3: "on demand", 4: "disabled"}
STATES = {1: "stopped", 2: "starting", 3: "stopping", 4: "running"}
EXE = winebed.NORVANE_WIN_PATH


def state(bed):
    rows = {}
    for name in ("hxlisten", "rtguard"):
        svc = bed.service(name)
        rows[f"service {name}"] = ("(absent)" if svc is None else
                                   f"{START_TYPES.get(svc['start_type'], svc['start_type'])}, "
                                   f"{STATES.get(svc['state'], svc['state'])}")
    for name, value in sorted(bed.run_values().items()):
        rows[f"Run: {name}"] = value["data"] if value["type"] == "REG_SZ" else str(value)
    return rows


def table(before, after):
    names = list(before) + [n for n in after if n not in before]
    width = max(len(n) for n in names)
    col = max([len("before")] + [len(v) for v in before.values()])
    lines = [f"  {'':{width}}  {'before':{col}}  after", f"  {'-' * width}  {'-' * col}  -----"]
    for n in names:
        b, a = before.get(n, "(absent)"), after.get(n, "(absent)")
        mark = " " if a == b else "*"
        lines.append(f"{mark} {n:{width}}  {b:{col}}  {a}")
    return "\n".join(lines)


def main(argv):
    build = Path(argv[1] if len(argv) > 1 else REPO / "build" / "windows").resolve()
    exe, tools = build / "src" / "norvane.exe", build / "testbed"
    for need in (exe, tools / "nvrun.exe", tools / "nvprobe.exe", tools / "standin_service.exe"):
        if not need.is_file():
            print(f"missing {need}: build the 'windows' preset first", file=sys.stderr)
            return 2

    t0 = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="norvane-demo-") as tmp:
        print("Creating a fresh Wine prefix ...")
        winebed.make_template(Path(tmp) / "template")
        with winebed.Bed("demo", template=Path(tmp) / "template", testbed_dir=tools,
                         work=tmp) as bed:
            print("Installing the client stand-in and norvane.exe ...")
            installed = bed.install_client()
            bed.install_exe(exe, EXE)
            before = state(bed)

            print(f"\nRunning {EXE} (preparation mode)")
            result = bed.run_program(EXE, timeout_ms=30000)
            for box in result.boxes:
                icon = "icon" if box.icon == "shown" else "no icon"
                print(f"  message box [{box.caption}] ({icon}): {box.text!r}"
                      f" -> answered {box.answer}")
            print(f"  exit code {result.exit_code}")
            after = state(bed)
            print("\nState (* = changed)")
            print(table(before, after))

            problems = []
            hx_a = bed.service("hxlisten")
            if not hx_a or hx_a["start_type"] != 3:
                problems.append("listener hxlisten is not on demand start")
            if before["service rtguard"].split(",")[0] != after["service rtguard"].split(",")[0]:
                problems.append("real-time service rtguard changed")
            monitor = installed.options.ini["NT_RUN_KEY"]
            if f"Run: {monitor}" in after:
                problems.append(f"the client's Run value {monitor!r} is still there")
            own = after.get(f"Run: {winebed.OWN_RUN_VALUE}", "")
            m = re.fullmatch(r'"(.*)" "/([0-9a-f]*)" -HideWindow', own)
            if not m or m.group(1) != EXE or m.group(2) not in winebed.host_adapter_ids():
                problems.append(f"own Run value wrong: {own!r}")
            else:
                print(f"\nHost identity {m.group(2)} matches a network adapter of this machine.")
            if [b.text for b in result.boxes] != [winebed.MSG_CONFIGURED]:
                problems.append("expected exactly the closing message")

    print(f"\nDone in {time.monotonic() - t0:.1f} s.")
    if problems:
        print("PREPARATION INCOMPLETE:\n  " + "\n  ".join(problems))
        return 1
    print("Preparation did what it promises.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
