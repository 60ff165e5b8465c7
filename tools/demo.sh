#!/usr/bin/env bash
# The demonstration: builds norvane.exe, installs the client stand-in into a
# fresh Wine prefix, prepares it as a master computer would be prepared and
# shows what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset windows
cmake --build --preset windows
python3 testbed/demo.py build/windows
