#!/usr/bin/env bash
# The benchmarks in one run (copy run overhead, start to dialog, memory,
# size, test suite times), written to bench/RESULTS.md. Not part of the test
# command; it runs the test command itself once, for its time.
#   bash bench/run.sh [--runs N] [--no-suite]
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset windows > /dev/null
cmake --build --preset windows --target all mindialog dlgtimer
cmake --preset windows-x86 > /dev/null
cmake --build --preset windows-x86
cmake --preset native > /dev/null
cmake --build --preset native --target copy_pauses
exec python3 bench/bench.py "$@"
