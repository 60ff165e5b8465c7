#!/usr/bin/env bash
# Builds everything (the Windows programs with MinGW-w64, the portable logic
# natively with ASan/UBSan) and runs every test through ctest: unit tests,
# the port's contract tests (fake and, under Wine, real), the Wine
# end-to-end and GUI tests, and short runs of the fuzz targets (which ctest
# builds with clang in build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

cmake --preset windows -DNORVANE_WERROR=$werror
cmake --build --preset windows
cmake --preset native -DNORVANE_WERROR=$werror
cmake --build --preset native
ctest --preset native
