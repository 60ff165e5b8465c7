"""Static checks of the release builds (the 32-bit one cannot run here).

    check_release.py package ZIP PROGRAM SOURCE_DIR
        the zip holds exactly the program (byte for byte the one built, or
        that with a signature added), the administrator's guide and every
        document it links to, the licence and BUILDINFO.txt, in a folder named like the zip, written the same
        way on every machine (name order, the source's time in UTC, fixed
        modes, no extra fields); SHA256SUMS beside it lists the zip and
        every file in it
    check_release.py resources PROGRAM64 PROGRAM32
        the two builds are for x64 and i386 and carry the same resources,
        leaf by leaf (strings, dialogs, icons, bitmaps, version, manifest)
"""

from __future__ import annotations

import hashlib
import re
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path, PurePosixPath

from pe_resources import MACHINE_AMD64, MACHINE_I386, PeFile, is_signed, resource_leaves

# string table, dialogs, icons, group icons, banner bitmaps, version, manifest
KINDS = {6: "string table", 5: "dialog", 3: "icon", 14: "group icon", "DIB": "DIB bitmap",
         16: "version", 24: "manifest"}


def unsigned(program: bytes, work: Path) -> bytes:
    """The program without its Authenticode signature (as it was signed)."""
    signed, stripped = work / "signed.exe", work / "unsigned.exe"
    signed.write_bytes(program)
    subprocess.run(["osslsigncode", "remove-signature", "-in", str(signed), "-out", str(stripped)],
                   check=True, capture_output=True)
    return stripped.read_bytes()


def guide_documents(docs: Path) -> list:
    """ADMIN.md and every document it links to, and they to, beside it."""
    found, todo = [], ["ADMIN.md"]
    while todo:
        name = todo.pop()
        if name in found:
            continue
        found.append(name)
        text = (docs / name).read_text()
        todo += re.findall(r"\]\(([A-Za-z0-9_.-]+\.md)(?:#[^)]*)?\)", text)
    return found


def check_package(zip_path: Path, program: Path, source: Path) -> list:
    folder = zip_path.name.removesuffix(".zip")
    expected = {"norvane.exe": program, "LICENSE.txt": source / "LICENSE",
                **{n: source / "docs" / n for n in guide_documents(source / "docs")}}
    wanted = sorted(f"{folder}/{n}" for n in [*expected, "BUILDINFO.txt"])
    problems = []
    with zipfile.ZipFile(zip_path) as z:
        entries = z.infolist()
        contents = {e.filename: z.read(e) for e in entries}
    names = [e.filename for e in entries]
    if names != wanted:
        problems.append(f"{zip_path.name} holds {names}, expected {wanted} in this order")
    for name, data in contents.items():
        base = PurePosixPath(name).name
        if base == "norvane.exe" and data != program.read_bytes() and is_signed(data):
            with tempfile.TemporaryDirectory() as work:
                data = unsigned(data, Path(work))
        if base in expected and data != expected[base].read_bytes():
            problems.append(f"{name} differs from {expected[base]}")
    info = contents.get(f"{folder}/BUILDINFO.txt", b"").decode()
    epoch = re.search(r"SOURCE_DATE_EPOCH=(\d+)", info)
    when = time.gmtime(int(epoch.group(1)) // 2 * 2)[:6] if epoch else None
    for e in entries:
        fixed = (e.date_time, e.create_system, oct(e.external_attr >> 16), e.extra, e.compress_type)
        if fixed != (when, 3, "0o100644", b"", zipfile.ZIP_DEFLATED):
            problems.append(f"{e.filename}: time, system, mode, extra, method {fixed}; expected "
                            f"the source's time {when} (UTC), Unix, 0o100644, none, deflated")
    listed = (zip_path.parent / "SHA256SUMS").read_text().splitlines()
    sums = {name: hashlib.sha256(data).hexdigest() for name, data in contents.items()}
    sums[zip_path.name] = hashlib.sha256(zip_path.read_bytes()).hexdigest()
    if listed != [f"{h}  {n}" for n, h in sorted(sums.items())]:
        problems.append(f"SHA256SUMS beside {zip_path.name} does not list the zip and its files "
                        f"with their hashes: {listed}")
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
        documents = ", ".join(sorted(guide_documents(Path(argv[4]) / "docs")))
        print(f"{Path(argv[2]).name}: norvane.exe (as built), {documents}, LICENSE.txt, "
              "BUILDINFO.txt; SHA256SUMS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
