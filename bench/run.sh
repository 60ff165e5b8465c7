#!/usr/bin/env bash
# The benchmarks in one run (copy run overhead, start to dialog, memory,
# size, test suite times), written to bench/RESULTS.md. Not part of the test
# command; it runs the test command itself once, for its time.
#   bash bench/run.sh [--runs N] [--no-suite]
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
# Configured as the test command configures them, so that its timed run
# finds everything built.
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset windows -DNORVANE_WERROR=$werror > /dev/null
cmake --build --preset windows --target all package mindialog mindialog_imports dlgtimer
cmake --preset windows-x86 -DNORVANE_WERROR=$werror > /dev/null
cmake --build --preset windows-x86 --target package
cmake --preset native -DNORVANE_WERROR=$werror > /dev/null
cmake --build --preset native --target all copy_pauses
exec python3 bench/bench.py "$@"
