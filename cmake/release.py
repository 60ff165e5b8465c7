"""The release of one build, written the same way on every machine.

    release.py MANIFEST

MANIFEST (written by cmake/NorvanePackage.cmake) names the release, the
files it ships, the source folder and the tools of the build. Beside the
manifest this writes

    NAME/                the files as shipped (signed when a key is given)
                         and BUILDINFO.txt, what the build was made with
    NAME.zip             those files in the folder NAME: entries in name
                         order, every time the source's time (UTC), fixed
                         modes, no owner ids, no extra fields
    SHA256SUMS           the zip and every file in it

Environment, read here and nowhere else (never on a command line, never in
the build's cache):

    SOURCE_DATE_EPOCH           the time of every zip entry (default: the
                                time of the source's commit)
    NORVANE_SOURCE_REVISION     the revision named in BUILDINFO.txt when the
                                source is no git checkout
    NORVANE_SIGN_PKCS12         a PKCS#12 file: every PE file is signed with
                                Authenticode (SHA-256) by osslsigncode
    NORVANE_SIGN_PASS           its password (given to osslsigncode on its
                                standard input)
    NORVANE_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server
"""

from __future__ import annotations

import hashlib
import json
import os
import platform
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

ZIP_EPOCH = 315532800  # 1980-01-01 00:00 UTC, the earliest time a zip holds
FILE_MODE = 0o100644


def git(source: Path, *args: str) -> str | None:
    try:
        done = subprocess.run(["git", "-C", str(source), *args], capture_output=True, text=True,
                              timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return None
    return done.stdout.strip() if done.returncode == 0 else None


def source_revision(source: Path) -> tuple[str, int]:
    """The source's revision as BUILDINFO.txt names it, and its time."""
    top = git(source, "rev-parse", "--show-toplevel")
    commit = git(source, "rev-parse", "HEAD") if top and Path(top).samefile(source) else None
    if commit:
        changed = git(source, "--no-optional-locks", "status", "--porcelain",
                      "--untracked-files=no")
        revision = f"commit {commit}" + (" with local changes" if changed else "")
        stamp = int(git(source, "log", "-1", "--format=%ct") or ZIP_EPOCH)
    else:
        revision = os.environ.get("NORVANE_SOURCE_REVISION") or "unknown (no git checkout)"
        stamp = ZIP_EPOCH
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch:
        if not epoch.isdigit():
            sys.exit(f"release: SOURCE_DATE_EPOCH is {epoch!r}, not seconds since 1970")
        stamp = int(epoch)
    return revision, max(stamp, ZIP_EPOCH)


def packages(paths: list[str]) -> list[str]:
    """The Debian packages (with their versions) that hold these files."""
    real = set()
    for path in (p for p in paths if p and os.path.exists(p)):
        real |= {path, os.path.realpath(path)}
    # Debian 12 lists the files of some packages under /lib, /bin, /sbin,
    # which are links to their /usr folders.
    real |= {p[4:] for p in real if p.startswith(("/usr/lib/", "/usr/bin/", "/usr/sbin/"))}
    real = sorted(real)
    try:
        owners = subprocess.run(["dpkg-query", "-S", *real], capture_output=True, text=True,
                                timeout=60).stdout
        names = sorted({line.split(":")[0].strip() for line in owners.splitlines()
                        if ": " in line and "," not in line.split(": ")[0]})
        listed = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Version}\\n", *names],
                                capture_output=True, text=True, timeout=60).stdout
    except (OSError, subprocess.TimeoutExpired):
        return []
    return sorted(listed.splitlines()) if names else []


def first_line(command: list[str]) -> str:
    try:
        out = subprocess.run(command, capture_output=True, text=True, timeout=30).stdout
    except (OSError, subprocess.TimeoutExpired):
        return "?"
    return out.splitlines()[0].strip() if out else "?"


def toolchain_files(manifest: dict) -> list[str]:
    """The files of the toolchain whose packages decide the bytes."""
    cxx = manifest["cxx"]
    files = [cxx, manifest["rc"], manifest["dlltool"], manifest["cmake"], sys.executable,
             zipfile.__file__]
    for prog in ("cc1plus", "lto1", "ld"):
        files.append(first_line([cxx, f"-print-prog-name={prog}"]))
    for lib in ("libstdc++.a", "libgcc.a", "libkernel32.a"):
        files.append(first_line([cxx, f"-print-file-name={lib}"]))
    try:  # the zlib that compresses the zip, where Linux tells it
        with open("/proc/self/maps", encoding="ascii", errors="replace") as maps:
            files += [line.split()[-1] for line in maps if "/libz.so" in line][:1]
    except OSError:
        pass
    return files


def build_info(manifest: dict, revision: str, stamp: int, signer: str | None,
               programs: list[Path]) -> str:
    import zlib

    try:
        os_name = platform.freedesktop_os_release().get("PRETTY_NAME", platform.system())
    except (AttributeError, OSError):
        os_name = platform.system()
    when = time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(stamp))
    lines = [manifest["title"], "",
             f"Source:        {revision}",
             f"Source time:   {when} (SOURCE_DATE_EPOCH={stamp})",
             f"Built on:      {os_name}",
             f"Configuration: {manifest['configuration']}, toolchain file "
             f"{manifest['toolchain']}",
             f"Compiler:      {first_line([manifest['cxx'], '--version'])}",
             f"Zip:           Python {platform.python_version()}, zlib {zlib.ZLIB_RUNTIME_VERSION}",
             f"Signed:        {signer or 'no'}", "",
             "Authenticode SHA-256 (the hash of WDAC and AppLocker hash rules; signing",
             "does not change it):"]
    lines += [f"  {authenticode_sha256(p).upper()}  {p.name}" for p in programs]
    lines += ["",
             "Toolchain packages (Debian):"]
    lines += [f"  {p}" for p in packages(toolchain_files(manifest))] or ["  (no dpkg here)"]
    lines += ["", "How to check this release and rebuild it bit for bit: ADMIN.md,",
              "\"Checking, signing and allowing the program\".", ""]
    return "\n".join(lines)


def is_pe(path: Path) -> bool:
    with path.open("rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ" or len(head) < 0x40:
        return False
    pe = int.from_bytes(head[0x3C:0x40], "little")
    return head[pe:pe + 4] == b"PE\0\0"


def authenticode_sha256(path: Path) -> str:
    """The file's Authenticode hash: its SHA-256 without the header's
    checksum, the certificate table's directory entry and the table, so the
    same before signing and after."""
    data = path.read_bytes()
    pe = int.from_bytes(data[0x3C:0x40], "little")
    optional = pe + 24
    magic = int.from_bytes(data[optional:optional + 2], "little")
    checksum = optional + 64
    entry = optional + (128 if magic == 0x10B else 144)  # data directory 4
    table = int.from_bytes(data[entry:entry + 4], "little")
    end = table or len(data)
    hashed = data[:checksum] + data[checksum + 4:entry] + data[entry + 8:end]
    return hashlib.sha256(hashed).hexdigest()


def sign(files: list[Path]) -> str | None:
    """Signs the PE files in place; what BUILDINFO.txt says of it (None: unsigned)."""
    pkcs12 = os.environ.get("NORVANE_SIGN_PKCS12")
    if not pkcs12:
        return None
    password = os.environ.get("NORVANE_SIGN_PASS", "")
    timestamp = os.environ.get("NORVANE_SIGN_TIMESTAMP_URL")
    # The child sees neither the password's variable nor, on its command
    # line, the password: it reads it from its standard input.
    env = {k: v for k, v in os.environ.items() if k != "NORVANE_SIGN_PASS"}
    for path in files:
        unsigned = path.with_name(path.name + ".unsigned")
        path.rename(unsigned)
        command = ["osslsigncode", "sign", "-pkcs12", pkcs12, "-readpass", "/dev/stdin",
                   "-h", "sha256", "-n", "Norvane Utility"]
        if timestamp:
            command += ["-ts", timestamp]
        done = subprocess.run(command + ["-in", str(unsigned), "-out", str(path)],
                              input=password, capture_output=True, text=True, env=env,
                              timeout=300)
        unsigned.unlink()
        if done.returncode != 0:
            output = (done.stdout + done.stderr).replace(password, "***") if password else (
                done.stdout + done.stderr)
            sys.exit(f"release: osslsigncode could not sign {path.name}:\n{output}")
    return "yes, Authenticode (SHA-256)" + (", time-stamped" if timestamp else "")


def write_zip(target: Path, folder: str, files: list[tuple[str, Path]], stamp: int) -> None:
    when = time.gmtime(stamp - stamp % 2)[:6]
    partial = target.with_name(target.name + ".partial")
    with zipfile.ZipFile(partial, "w") as z:
        for name, path in sorted(files):
            entry = zipfile.ZipInfo(f"{folder}/{name}", date_time=when)
            entry.create_system = 3  # Unix, so that the modes below are read
            entry.external_attr = FILE_MODE << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(entry, path.read_bytes(), compresslevel=9)
    partial.replace(target)


def sha256(path: Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    manifest_path = Path(argv[1])
    manifest = json.loads(manifest_path.read_text())
    out, name = manifest_path.parent, manifest["name"]
    stage = out / name
    shutil.rmtree(stage, ignore_errors=True)
    stage.mkdir()
    files = []
    for shipped, source in manifest["files"]:
        shutil.copyfile(source, stage / shipped)
        files.append((shipped, stage / shipped))
    programs = [path for _, path in files if is_pe(path)]
    signer = sign(programs)
    if not signer:
        print(f"{name}: NORVANE_SIGN_PKCS12 is not set, the programs are not signed")
    revision, stamp = source_revision(Path(manifest["source"]))
    (stage / "BUILDINFO.txt").write_text(build_info(manifest, revision, stamp, signer, programs),
                                         encoding="utf-8", newline="\n")
    files.append(("BUILDINFO.txt", stage / "BUILDINFO.txt"))
    archive = out / f"{name}.zip"
    write_zip(archive, name, files, stamp)
    sums = [(f"{name}/{shipped}", sha256(path)) for shipped, path in files]
    sums.append((archive.name, sha256(archive)))
    (out / "SHA256SUMS").write_text("".join(f"{h}  {n}\n" for n, h in sorted(sums)),
                                    encoding="ascii", newline="\n")
    print(f"{name}: {archive} and SHA256SUMS")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
