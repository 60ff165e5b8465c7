#!/usr/bin/env python3
"""The test bed by hand: a Wine prefix that stays, for trying norvane.exe.

    testbed/bed.py prefix DIR
        Make a fresh, quiet Wine prefix in DIR (replacing what is there).
    testbed/bed.py client DIR [--9x] [--no-ini] [--no-listener] [--listener-file FILE]
        Install the client stand-in into DIR: registry keys, Wdlscan.ini,
        the services hxlisten and rtguard, the client's Run values.
    testbed/bed.py run DIR [--version VERSION] [--timeout MS] [-- ARGUMENTS...]
        Run norvane.exe in DIR (copied to C:\\Program Files\\Norvane Test) with
        an emulated Windows version (win98, nt351, nt40, winxp, win10, ...)
        and a command line; print its message boxes (answered with OK) and
        the Run key afterwards.

Options common to all: --build DIR, the windows build tree (default
build/windows). Every Wine call runs under a time limit.
"""

import argparse
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import winebed  # noqa: E402
from winebed import client  # noqa: E402


class PrefixBed(winebed.Bed):
    """A Bed over an existing prefix, left in place when it closes."""

    def __init__(self, prefix: Path, build: Path):
        super().__init__("bed", template=prefix, testbed_dir=build / "testbed",
                         work=prefix.parent)
        winebed.shutil.rmtree(self.dir, ignore_errors=True)
        self.dir = prefix.parent
        self.prefix = prefix
        self.env = winebed.wine_env(prefix)

    def start(self):
        if not self.prefix.is_dir():
            raise winebed.BedError(f"no prefix at {self.prefix}: run 'bed.py prefix' first")
        winebed.run(["wineserver", "-p"], self.env, 30, capture=False)
        self._started = True

    def close(self):
        if self._started:
            winebed.run(["wineserver", "-k"], self.env, 30, check=False)
            winebed.run(["wineserver", "-w"], self.env, 60, check=False)
            self._started = False


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["prefix", "client", "run"])
    parser.add_argument("dir", type=Path)
    parser.add_argument("--build", type=Path, default=REPO / "build" / "windows")
    parser.add_argument("--9x", dest="w9x", action="store_true")
    parser.add_argument("--no-ini", action="store_true")
    parser.add_argument("--no-listener", action="store_true")
    parser.add_argument("--listener-file")
    parser.add_argument("--version")
    parser.add_argument("--timeout", type=int, default=60000)
    own, program_args = argv[1:], []
    if "--" in own:
        cut = own.index("--")
        own, program_args = own[:cut], own[cut + 1:]
    args = parser.parse_args(own)
    prefix = args.dir.resolve()
    build = args.build.resolve()

    if args.command == "prefix":
        if prefix.exists():
            winebed.shutil.rmtree(prefix)
        seconds = winebed.make_template(prefix)
        print(f"prefix {prefix} ready in {seconds:.1f} s")
        return 0

    with PrefixBed(prefix, build) as bed:
        if args.command == "client":
            options = client.ClientOptions(layout="9x" if args.w9x else "nt")
            if args.no_ini:
                options.ini = None
            elif args.listener_file:
                options.ini["NT_HXLISTEN_SERVICE_FILENAME"] = args.listener_file
            if args.no_listener:
                options.listener = None
            installed = bed.install_client(options)
            print(f"client stand-in installed in {installed.folder}")
            for name, command in installed.run_values.items():
                print(f"  Run value {name!r}: {command}")
            for service in installed.services:
                print(f"  service {service.name}: {service.display_name}")
            return 0

        exe = build / "src" / "norvane.exe"
        win_path = bed.install_exe(exe, winebed.NORVANE_WIN_PATH)
        if args.version:
            bed.set_version("norvane.exe", args.version)
        result = bed.run_program(win_path, *program_args, timeout_ms=args.timeout)
        for box in result.boxes:
            print(f"message box [{box.caption}]: {box.text!r}")
        for caption in result.dialogs:
            print(f"dialog [{caption}]")
        print(f"exit code {result.exit_code}{' (timed out)' if result.timed_out else ''}")
        for name, value in sorted(bed.run_values().items()):
            print(f"  Run value {name!r}: {value.get('data')}")
        return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
