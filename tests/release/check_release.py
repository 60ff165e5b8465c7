"""Static checks of the release builds (the 32-bit one cannot run here).

    check_release.py package ZIP PROGRAM SOURCE_DIR
        the zip holds exactly the program (byte for byte the one built), the
        administrator's guide and the licence, in a folder named like the zip
    check_release.py resources PROGRAM64 PROGRAM32
        the two builds are for x64 and i386 and carry the same resources,
        leaf by leaf (strings, dialogs, icons, bitmaps, version, manifest)
"""

from __future__ import annotations

import sys
import zipfile
from pathlib import Path, PurePosixPath

from pe_resources import MACHINE_AMD64, MACHINE_I386, PeFile, resource_leaves

# string table, dialogs, icons, group icons, banner bitmaps, version, manifest
KINDS = {6: "string table", 5: "dialog", 3: "icon", 14: "group icon", "DIB": "DIB bitmap",
         16: "version", 24: "manifest"}


def check_package(zip_path: Path, program: Path, source: Path) -> list:
    folder = zip_path.name.removesuffix(".zip")
    expected = {"norvane.exe": program, "ADMIN.md": source / "docs" / "ADMIN.md",
                "LICENSE.txt": source / "LICENSE"}
    with zipfile.ZipFile(zip_path) as z:
        names = [n for n in z.namelist() if not n.endswith("/")]
        problems = []
        wanted = {f"{folder}/{n}" for n in expected}
        if set(names) != wanted or len(names) != len(wanted):
            problems.append(f"{zip_path.name} holds {sorted(names)}, expected {sorted(wanted)}")
        for name in names:
            base = PurePosixPath(name).name
            if base in expected and z.read(name) != expected[base].read_bytes():
                problems.append(f"{name} differs from {expected[base]}")
    return problems


def check_resources(program64: Path, program32: Path) -> list:
    problems = []
    for path, machine in ((program64, MACHINE_AMD64), (program32, MACHINE_I386)):
        found = PeFile(path.read_bytes()).machine
        if found != machine:
            problems.append(f"{path}: machine {found:#x}, expected {machine:#x}")
    leaves64, leaves32 = resource_leaves(program64), resource_leaves(program32)
    for kind, what in KINDS.items():
        for path, leaves in ((program64, leaves64), (program32, leaves32)):
            if not any(key[0] == kind for key in leaves):
                problems.append(f"{path}: no {what} resource")
    for key in sorted(leaves64.keys() | leaves32.keys(), key=str):
        if key not in leaves32:
            problems.append(f"{key} only in the 64-bit build")
        elif key not in leaves64:
            problems.append(f"{key} only in the 32-bit build")
        elif leaves64[key] != leaves32[key]:
            problems.append(f"{key} differs ({len(leaves64[key])} / {len(leaves32[key])} bytes)")
    if not problems:
        print(f"{len(leaves64)} resources identical in both builds")
    return problems


def main(argv: list) -> int:
    if len(argv) == 5 and argv[1] == "package":
        problems = check_package(Path(argv[2]), Path(argv[3]), Path(argv[4]))
    elif len(argv) == 4 and argv[1] == "resources":
        problems = check_resources(Path(argv[2]), Path(argv[3]))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for p in problems:
        print(p)
    if not problems and argv[1] == "package":
        print(f"{Path(argv[2]).name}: norvane.exe (as built), ADMIN.md, LICENSE.txt")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
