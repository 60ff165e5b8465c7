#!/usr/bin/env bash
# The demonstration: builds norvane.exe, prepares a master computer with the
# client stand-in running, images its disk, starts copies of it on hardware
# of their own (network namespaces) and logs on to each, logs on to the
# master again, and shows what every machine ended with. Network namespaces
# need root: a user with sudo runs the demo itself through sudo.
#   bash tools/demo.sh [--copies N] [--boot]
# --boot: the master is prepared with /service /quiet and every machine is
# restarted without a logon; the utility's boot-time service finishes each
# (see testbed/demo.py --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset windows
cmake --build --preset windows
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo python3 testbed/demo.py build/windows "$@"
