#!/usr/bin/env python3
"""Mutation testing of the native unit and contract suites.

Each mutant is one fault made on purpose: a unique snippet of a source file
and what replaces it. The tool applies one mutant at a time, rebuilds only
the two native test programs in a build tree of its own (no sanitizers, no
Wine), runs them directly, puts the file back and says which mutants the
suite caught ("killed") and which it let through ("survived").

Not part of the test command: run it by hand, at low priority, e.g.

    nice -n 19 python3 tools/mutate.py tools/mutants/*.txt
    nice -n 19 python3 tools/mutate.py tools/mutants/lock.txt --only L03 L07

The build tree (build/mutate by default) is configured on first use with
-DCMAKE_BUILD_TYPE=Debug -DNORVANE_SANITIZE=OFF.

Mutant files: lines starting with '#' outside a mutant are comments. A mutant:

    == ID path/of/file.cpp
    One line saying what the fault is.
    equivalent: why no test can tell it apart   (optional)
    <<<
    the snippet, exactly once in the file (one or more lines)
    >>>
    what replaces it (zero or more lines)
    ==

The score counts killed mutants among those not marked equivalent; a mutant
that does not build is "stillborn" and not counted either.
"""

import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TARGETS = ["norvane_unit_tests", "norvane_contract_tests"]


class Mutant:
    def __init__(self, ident, path, description, find, replace, equivalent, origin):
        self.ident = ident
        self.path = path
        self.description = description
        self.find = find
        self.replace = replace
        self.equivalent = equivalent
        self.origin = origin


def parse(paths):
    mutants = []
    for list_path in paths:
        with open(list_path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        i = 0
        while i < len(lines):
            line = lines[i]
            if not line.startswith("== "):
                if line.strip() and not line.startswith("#"):
                    sys.exit(f"{list_path}:{i + 1}: expected '== ID file', got {line!r}")
                i += 1
                continue
            where = f"{list_path}:{i + 1}"
            parts = line[3:].split()
            if len(parts) != 2:
                sys.exit(f"{where}: expected '== ID file'")
            ident, path = parts
            i += 1
            description, equivalent = "", None
            while i < len(lines) and lines[i] != "<<<":
                text = lines[i].strip()
                if text.startswith("equivalent:"):
                    equivalent = text[len("equivalent:"):].strip()
                elif text and not description:
                    description = text
                elif text:
                    description += " " + text
                i += 1
            i += 1
            find = []
            while i < len(lines) and lines[i] != ">>>":
                find.append(lines[i])
                i += 1
            i += 1
            replace = []
            while i < len(lines) and lines[i] != "==":
                replace.append(lines[i])
                i += 1
            if i >= len(lines):
                sys.exit(f"{where}: mutant {ident} does not end with '=='")
            i += 1
            mutants.append(Mutant(ident, path, description, "\n".join(find), "\n".join(replace),
                                  equivalent, where))
    seen = set()
    for m in mutants:
        if m.ident in seen:
            sys.exit(f"{m.origin}: the id {m.ident} is used twice")
        seen.add(m.ident)
        full = os.path.join(ROOT, m.path)
        if not os.path.isfile(full):
            sys.exit(f"{m.origin}: no file {m.path}")
        with open(full, encoding="utf-8") as f:
            count = f.read().count(m.find)
        if count != 1 or not m.find:
            sys.exit(f"{m.origin}: the snippet of {m.ident} occurs {count} times in {m.path}")
        if m.find == m.replace:
            sys.exit(f"{m.origin}: {m.ident} changes nothing")
    return mutants


class Tree:
    """The build tree and the sources it is built from, with the way back."""

    def __init__(self, build, jobs):
        self.build = build
        self.jobs = jobs
        self.backup = os.path.join(build, "mutate-backup")
        self.objects = {}  # source path -> (object path, saved copy)

    def recover(self):
        """Puts back a source a mutation run killed hard left changed."""
        journal = os.path.join(self.backup, "journal.json")
        if not os.path.exists(journal):
            return
        with open(journal, encoding="utf-8") as f:
            entry = json.load(f)
        shutil.copy2(os.path.join(self.backup, "source"), os.path.join(ROOT, entry["path"]))
        os.remove(journal)
        print(f"restored {entry['path']}, left changed by an earlier run", flush=True)

    def configure(self):
        if os.path.exists(os.path.join(self.build, "CMakeCache.txt")):
            return
        run(["cmake", "-S", ROOT, "-B", self.build, "-DCMAKE_BUILD_TYPE=Debug",
             "-DNORVANE_SANITIZE=OFF"], check=True)

    def make(self):
        return run(["cmake", "--build", self.build, "--target", *TARGETS, "-j", str(self.jobs)])

    def object_of(self, path):
        """The object file built from a .cpp source, or None."""
        if not path.endswith(".cpp"):
            return None
        under = path.split("/", 1)[1] if "/" in path else path
        pattern = os.path.join(self.build, "**", "CMakeFiles", "*.dir", "**",
                               os.path.basename(path) + ".o")
        for candidate in glob.glob(pattern, recursive=True):
            if candidate.endswith("/" + under + ".o"):
                return candidate
        return None

    def apply(self, m):
        full = os.path.join(ROOT, m.path)
        os.makedirs(self.backup, exist_ok=True)
        shutil.copy2(full, os.path.join(self.backup, "source"))
        obj = self.object_of(m.path)
        if obj:
            shutil.copy2(obj, os.path.join(self.backup, "object"))
        with open(os.path.join(self.backup, "journal.json"), "w", encoding="utf-8") as f:
            json.dump({"path": m.path, "object": obj}, f)
        with open(full, encoding="utf-8") as f:
            text = f.read()
        with open(full, "w", encoding="utf-8") as f:
            f.write(text.replace(m.find, m.replace, 1))
        return obj

    def restore(self, m, obj):
        full = os.path.join(ROOT, m.path)
        shutil.copy2(os.path.join(self.backup, "source"), full)  # content and old time
        if obj:
            # The object of the original source, newer than it: no compile,
            # but the library and the programs are made again from it.
            shutil.copy2(os.path.join(self.backup, "object"), obj)
            os.utime(obj, None)
        else:
            # A header: what includes it is built again now, so that no
            # object built from the mutant is saved as an original later.
            os.utime(full, None)
            self.make()
        os.remove(os.path.join(self.backup, "journal.json"))


def run(command, check=False, timeout=None, cwd=None):
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, errors="replace", timeout=timeout)
    if check and result.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{result.stdout[-4000:]}")
    return result


def run_suites(build, timeout):
    """None when both suites pass; else the name of the first failing test."""
    tests = os.path.join(build, "tests")
    for program in TARGETS:
        try:
            result = run([os.path.join(tests, program), "--gtest_fail_fast", "--gtest_brief=1"],
                         timeout=timeout, cwd=tests)
        except subprocess.TimeoutExpired:
            return f"{program}: timed out"
        if result.returncode != 0:
            failed = re.findall(r"^\[  FAILED  \] (\S+)", result.stdout, re.M)
            if failed:
                return failed[0]
            tail = result.stdout.strip().splitlines()[-1:] or ["(no output)"]
            return f"{program}: exit {result.returncode}: {tail[0][:100]}"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("lists", nargs="+", help="mutant files (tools/mutants/*.txt)")
    parser.add_argument("--only", nargs="*", help="run only these ids")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "mutate"))
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--json", help="write the results to this file")
    parser.add_argument("--check", action="store_true",
                        help="only check that every snippet is found once")
    args = parser.parse_args()

    mutants = parse(args.lists)
    if args.only:
        mutants = [m for m in mutants if m.ident in set(args.only)]
    if args.check:
        print(f"{len(mutants)} mutants, every snippet found once")
        return 0

    tree = Tree(args.build, args.jobs)
    tree.recover()
    tree.configure()
    if tree.make().returncode != 0:
        sys.exit("the unchanged tree does not build")
    started = time.time()
    if run_suites(args.build, None):
        sys.exit("the unchanged suites fail: " + run_suites(args.build, None))
    timeout = max(120, 5 * (time.time() - started))
    print(f"suites pass unchanged in {time.time() - started:.0f} s; "
          f"{len(mutants)} mutants", flush=True)

    results = []
    for index, m in enumerate(mutants, 1):
        began = time.time()
        obj = tree.apply(m)
        try:
            built = tree.make()
            if built.returncode != 0:
                status, by = "stillborn", ""
            else:
                by = run_suites(args.build, timeout)
                status = "killed" if by else "survived"
        finally:
            tree.restore(m, obj)
        shown = status + (" (equivalent)" if m.equivalent and status == "survived" else "")
        print(f"[{index}/{len(mutants)}] {m.ident:5} {shown:22} {m.path}: {m.description}"
              + (f"  <- {by}" if status == "killed" else "")
              + f"  ({time.time() - began:.0f} s)", flush=True)
        results.append({"id": m.ident, "file": m.path, "description": m.description,
                        "status": status, "by": by, "equivalent": m.equivalent})

    # Leave the tree built from the sources as they are.
    tree.make()
    counted = [r for r in results if not r["equivalent"] and r["status"] != "stillborn"]
    killed = [r for r in counted if r["status"] == "killed"]
    print()
    for r in results:
        if r["status"] == "survived" and not r["equivalent"]:
            print(f"SURVIVED {r['id']} {r['file']}: {r['description']}")
    for r in results:
        if r["equivalent"]:
            print(f"equivalent {r['id']} ({r['status']}): {r['equivalent']}")
    for r in results:
        if r["status"] == "stillborn":
            print(f"stillborn {r['id']}: {r['description']}")
    score = 100.0 * len(killed) / len(counted) if counted else 0.0
    print(f"\nscore: {len(killed)} of {len(counted)} non-equivalent mutants killed "
          f"({score:.1f} %); {sum(1 for r in results if r['equivalent'])} judged equivalent, "
          f"{sum(1 for r in results if r['status'] == 'stillborn')} stillborn")
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump({"score": score, "results": results}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
