"""The release step signs with a key it is given, and only then.

    signing.py BUILD SOURCE WORK

With a throw-away CA and code-signing certificate (openssl), the release
step of BUILD (a package build) is run again into WORK/signed with
NORVANE_SIGN_PKCS12 and NORVANE_SIGN_PASS set: osslsigncode must verify its
program against the CA and name the certificate, removing the signature
must give back exactly the unsigned program of BUILD, the Authenticode hash
must be the one BUILDINFO.txt names, and the password must show neither in
the step's output nor on osslsigncode's command line or in its environment.
Run again without a key into WORK/unsigned, the step says once that the
programs are unsigned and ships the program as built. The signed
program stays in WORK/signed for the end-to-end tests.
"""

from __future__ import annotations

import json
import os
import re
import secrets
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

from check_release import check_package, unsigned

SIGNER = "Norvane Throw-away Code Signing"
SHIM = """#!/bin/sh
printf '%s\\n' "$*" "${NORVANE_SIGN_PASS+NORVANE_SIGN_PASS in the environment}" >> "$0.log"
exec "REAL" "$@"
"""


def run(*command: str, **kw) -> subprocess.CompletedProcess:
    return subprocess.run(command, check=True, capture_output=True, text=True, **kw)


def make_pkcs12(work: Path, password: str) -> Path:
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
        "/CN=Norvane Throw-away CA", "-keyout", str(work / "ca.key"), "-out", str(work / "ca.pem"),
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign")
    certificate(work, "signer", SIGNER, "codeSigning")
    pkcs12 = work / "signer.p12"
    run("openssl", "pkcs12", "-export", "-inkey", str(work / "signer.key"), "-in",
        str(work / "signer.pem"), "-out", str(pkcs12), "-passout", "env:P12_PASS",
        env=dict(os.environ, P12_PASS=password))
    return pkcs12


def certificate(work: Path, name: str, cn: str, usage: str) -> None:
    """name.key and name.pem, issued by the throw-away CA."""
    key, request, ext = (work / f"{name}.{e}" for e in ("key", "csr", "ext"))
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN={cn}",
        "-keyout", str(key), "-out", str(request))
    ext.write_text(f"basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                   f"extendedKeyUsage={usage}\n")
    run("openssl", "x509", "-req", "-days", "2", "-in", str(request), "-CA", str(work / "ca.pem"),
        "-CAkey", str(work / "ca.key"), "-CAcreateserial", "-extfile", str(ext), "-out",
        str(work / f"{name}.pem"))


def release(build: Path, out: Path, env: dict) -> tuple[str, dict]:
    """Runs the release step of BUILD with its output in OUT."""
    out.mkdir(parents=True)
    manifest = json.loads((build / "release.json").read_text())
    (out / "release.json").write_text(json.dumps(manifest))
    source = Path(manifest["source"])
    done = subprocess.run([sys.executable, str(source / "cmake" / "release.py"),
                           str(out / "release.json")], env=env, capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(f"the release step failed:\n{done.stdout}{done.stderr}")
    return done.stdout + done.stderr, manifest


def main(argv: list[str]) -> int:
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    build, source, work = Path(argv[1]), Path(argv[2]), Path(argv[3])
    shutil.rmtree(work, ignore_errors=True)
    (work / "bin").mkdir(parents=True)
    password = secrets.token_urlsafe(12)
    pkcs12 = make_pkcs12(work, password)
    # osslsigncode as the step finds it on the PATH, recording how it is
    # called.
    shim = work / "bin" / "osslsigncode"
    shim.write_text(SHIM.replace("REAL", shutil.which("osslsigncode")))
    shim.chmod(0o755)
    base = {k: v for k, v in os.environ.items() if not k.startswith("NORVANE_SIGN_")}
    base["PATH"] = f"{work / 'bin'}{os.pathsep}{os.environ['PATH']}"

    key = {"NORVANE_SIGN_PKCS12": str(pkcs12), "NORVANE_SIGN_PASS": password}
    output, manifest = release(build, work / "signed", dict(base, **key))
    name, problems = manifest["name"], []
    program = build / "src" / "norvane.exe"
    signed_zip = work / "signed" / f"{name}.zip"
    signed = zipfile.ZipFile(signed_zip).read(f"{name}/norvane.exe")
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", str(work / "ca.pem"), "-in",
                               str(work / "signed" / name / "norvane.exe")],
                              capture_output=True, text=True)
    digest = re.search(r"Current message digest\s*: ([0-9A-F]+)", verified.stdout)
    info = zipfile.ZipFile(signed_zip).read(f"{name}/BUILDINFO.txt").decode()
    if verified.returncode != 0 or f"Subject: /CN={SIGNER}" not in verified.stdout:
        problems.append(f"osslsigncode verify:\n{verified.stdout}{verified.stderr}")
    if "Message digest algorithm  : SHA256" not in verified.stdout:
        problems.append("the signature's digest is not SHA-256")
    if not digest or f"{digest.group(1)}  norvane.exe" not in info:
        problems.append(f"BUILDINFO.txt does not name the Authenticode hash "
                        f"{digest and digest.group(1)}")
    if (work / "signed" / name / "norvane.exe").read_bytes() != signed:
        problems.append("the zip's program is not the one signed")
    if unsigned(signed, work) != program.read_bytes():
        problems.append(f"the signed program without its signature is not {program}")
    problems += check_package(signed_zip, program, source)
    calls = (work / "bin" / "osslsigncode.log").read_text()
    if "sign" not in calls or password in calls + output or "in the environment" in calls:
        problems.append(f"osslsigncode was not called, or saw the password: {calls}")
    if "not signed" in output:
        problems.append(f"the signing step says the programs are unsigned: {output}")

    output, _ = release(build, work / "unsigned", base)
    if output.count("not signed") != 1:
        problems.append(f"without a key the step does not say once that it signs nothing: {output}")
    plain = zipfile.ZipFile(work / "unsigned" / f"{name}.zip").read(f"{name}/norvane.exe")
    if plain != program.read_bytes():
        problems.append(f"without a key the zip's program is not {program}")
    for p in problems:
        print(p)
    if not problems:
        print(f"{name}: signed by CN={SIGNER}, verified; unsigned again it is {program}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
