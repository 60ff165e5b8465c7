#!/usr/bin/env bash
# Builds everything (the Windows programs with MinGW-w64 and their release
# packages, 64- and 32-bit; the portable logic natively with ASan/UBSan) and
# runs every test through ctest: unit tests, the port's contract tests (fake
# and, under Wine, real), the Wine end-to-end and GUI tests, the static checks
# of both programs and packages, and short runs of the fuzz targets (which
# ctest builds with clang in build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

# Each step's time, for whoever looks for where the run's time goes.
begun=$(date +%s)
step_begun=$begun
cpu=$(mktemp)
trap 'rm -f "$cpu"' EXIT
step() {
  local now
  now=$(date +%s)
  times > "$cpu" # the builtin, in this shell: user and system time of its children so far
  echo "[test-all] $1: $((now - step_begun)) s (total $((now - begun)) s); CPU so far: $(tail -1 "$cpu")"
  step_begun=$now
}

bash tools/install-deps.sh
step "packages"

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

cmake --preset windows -DNORVANE_WERROR=$werror
# Everything, then the release (program, zip, SHA256SUMS; signed when
# NORVANE_SIGN_PKCS12 is set, see docs/ADMIN.md).
cmake --build --preset windows --target all package
step "64-bit build and package"
# The 32-bit program and its package are built by the test run
# (build.windows_x86) and checked as data: they cannot run on this machine
# kind.
cmake --preset native -DNORVANE_WERROR=$werror
cmake --build --preset native
step "native build"
# ctest's summary closes the run (its own "Total Test time" is the tests').
ctest --preset native
