#!/usr/bin/env python3
"""Demonstrates the utility's whole life cycle under Wine.

    testbed/demo.py [WINDOWS_BUILD_DIR] [--copies N] [--boot] [--screenshot PNG] [--sequential]
                    [--keep]

A master with the client stand-in running is prepared (its message boxes are
answered and printed, the state before and after shown side by side), its disk
is imaged, N copies (default 2) start from the image on hardware of their own
and log on, and the master logs on again. One table then shows every machine:
host identity, GUID before and after, what its console stand-in received, the
client's services and start-up entry, the utility's own entry and file, the
message boxes, the utility's exit code beside the LastResult it recorded; then
each copy's run as its log holds it, the time of each run beside the pauses it
must make, and where the screenshot of copy 1's progress dialog (the dialog
alone) is. Exit 0 only when every machine ended as promised, every run with
exit code 0 and the same LastResult; 2 when the machine lacks what the demo
needs (root, network namespaces, the windows build). See testbed/lifecycle.py.

--boot: restarts without a logon, for unattended images. The master is
prepared with `/service /quiet` (the utility's boot-time service beside its
quiet Run value, nothing shown); the copies and the master are then restarted
without anyone logging on (`wineboot -r`), and each copy is finished by the
service alone, waited for at most 120 s; the master stays prepared (an image
made after its restart still carries the utility). The table adds the service's state,
the messages the run recorded and the outcome values (the service's exit code
is the one its log's "Finished" line gives); the client's program must not be
launched (its restored Run value starts it at the next logon). No screenshot:
nothing is shown.

The README's picture of the dialog comes from this program:
    bash tools/demo.sh --screenshot docs/progress-dialog.png
"""

import argparse
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "testbed"))

import lifecycle  # noqa: E402


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
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", type=Path, default=REPO / "build" / "windows")
    parser.add_argument("--copies", type=int, default=2)
    parser.add_argument("--boot", action="store_true",
                        help="prepare with /service /quiet and restart every machine without "
                             "a logon: the boot-time service finishes each")
    parser.add_argument("--screenshot", type=Path)
    parser.add_argument("--sequential", action="store_true",
                        help="run the copies one after the other")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes and logs")
    args = parser.parse_args(argv[1:])
    if args.copies < 1:
        parser.error("--copies must be at least 1")
    build = args.build.resolve()
    if args.boot and args.screenshot:
        parser.error("--boot shows no window to photograph: leave out --screenshot")
    shot = None if args.boot else (args.screenshot
                                   or build / "demo" / "copy1-progress-dialog.png").resolve()
    options = lifecycle.Options(
        copies=args.copies, exe=build / "src" / "norvane.exe", testbed_dir=build / "testbed",
        screenshot=shot, parallel=not args.sequential, boot=args.boot, keep=args.keep,
        log=lambda text: print(text, flush=True))

    t0 = time.monotonic()
    try:
        result = lifecycle.run_lifecycle(options)
    except lifecycle.NeedError as e:
        print(f"demo: {e}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("demo: interrupted; what it had set up is removed", file=sys.stderr)
        return 130
    prep = result.preparation
    if prep:
        print("\nPreparation of the master")
        if prep.boot:
            print("  " + " ".join(lifecycle.BOOT_PREPARATION) + ": "
                  + ("nothing shown" if not (prep.boxes or prep.dialogs) else
                     f"shown: {[b.text for b in prep.boxes] + prep.dialogs}"))
        for box in prep.boxes:
            print(f"  message box [{box.caption}]: {box.text!r} -> answered {box.answer}")
        print(f"  exit code {prep.exit_code}, LastResult {prep.last_result}; "
              f"registered identity {prep.identity}")
        svc = prep.boot_service
        if prep.boot and svc:
            kind = ("own process" if svc["service_type"] == lifecycle.SERVICE_WIN32_OWN_PROCESS
                    else f"type {svc['service_type']:#x}")
            print(f"  service {lifecycle.BOOT_SERVICE} (\"{svc['display_name']}\"): {kind}, "
                  f"{lifecycle.START_TYPES.get(svc['start_type'], svc['start_type'])}, "
                  f"{svc['account']}, {svc['binary_path']}")
        print("State of the master (* = changed)")
        print(table(prep.before, prep.after))
    copies = f"{args.copies} cop{'y' if args.copies == 1 else 'ies'}"
    if args.boot:
        print(f"\nThe life cycle without a logon: master, its image started as {copies} on "
              "hardware of their own, the master started again; nobody logs on anywhere\n")
    else:
        print(f"\nThe life cycle: master, its image started as {copies} "
              "on hardware of their own, the master started again\n")
    print(lifecycle.report_text(result))
    problems = result.problems()
    print(f"\nDone in {time.monotonic() - t0:.1f} s.")
    if problems:
        print("NOT EVERY MACHINE ENDED AS PROMISED:\n  " + "\n  ".join(problems))
        return 1
    print("Every machine ended as promised.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
