"""Two builds of the same sources give the same release, byte for byte.

    reproducible.py SOURCE WORK BUILD...

Each BUILD is a package build of the test command (preset windows or
windows-x86). The sources are copied to WORK/src (another folder, so no
path of the first build's may leak into the bytes) and every BUILD's preset
is built again there with its program alone (no test programs), later, in
another time zone and with another umask; then the programs, the zips and
SHA256SUMS of the two builds must be the same files. The package builds
must be unsigned, as the test command makes them.
"""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path


def copy_sources(source: Path, target: Path) -> None:
    listed = subprocess.run(["git", "-C", str(source), "ls-files", "-z", "-co",
                             "--exclude-standard"], check=True, capture_output=True)
    listed = listed.stdout.decode().split("\0")
    for name in filter(None, listed):
        if (source / name).is_file():
            (target / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(source / name, target / name)


def preset_of(build: Path) -> str:
    toolchain = re.search(r"^CMAKE_TOOLCHAIN_FILE:\w+=.*/(mingw-w64-\w+)\.cmake$",
                          (build / "CMakeCache.txt").read_text(), re.M).group(1)
    return {"mingw-w64-x86_64": "windows", "mingw-w64-i686": "windows-x86"}[toolchain]


def first_difference(a: bytes, b: bytes) -> str:
    at = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    return f"{len(a)} / {len(b)} bytes, first difference at offset {at:#x}"


def main(argv: list[str]) -> int:
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    source, work, builds = Path(argv[1]), Path(argv[2]), [Path(b) for b in argv[3:]]
    shutil.rmtree(work, ignore_errors=True)
    copy_sources(source, work / "src")
    problems = []
    for build in builds:
        manifest = json.loads((build / "release.json").read_text())
        info = (build / manifest["name"] / "BUILDINFO.txt").read_text()
        if re.search(r"^Signed: +yes", info, re.M):
            print(f"{build} is signed, and a signature is never made twice the same: "
                  "build it without NORVANE_SIGN_PKCS12")
            return 1
        # The copy is no git checkout: it is told what the first build read
        # from git.
        env = dict(os.environ, TZ="NVT-14",
                   SOURCE_DATE_EPOCH=re.search(r"SOURCE_DATE_EPOCH=(\d+)", info).group(1),
                   NORVANE_SOURCE_REVISION=re.search(r"^Source: +(.*)$", info, re.M).group(1))
        env.pop("NORVANE_SIGN_PKCS12", None)
        again = work / preset_of(build)
        for command in (["cmake", "--preset", preset_of(build), "-B", str(again),
                         "-DBUILD_TESTING=OFF"],
                        ["cmake", "--build", str(again), "--target", "package"]):
            done = subprocess.run(command, cwd=work / "src", env=env, capture_output=True,
                                  text=True, preexec_fn=lambda: os.umask(0o077))
            if done.returncode != 0:
                print(done.stdout[-3000:], done.stderr[-3000:])
                return 1
        for name in ("src/norvane.exe", f"{manifest['name']}.zip", "SHA256SUMS"):
            first, second = (build / name).read_bytes(), (again / name).read_bytes()
            if first != second:
                problems.append(f"{build / name} and {again / name} differ: "
                                f"{first_difference(first, second)}")
            else:
                print(f"{name}: the same {len(first)} bytes from {build} and {again}")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
