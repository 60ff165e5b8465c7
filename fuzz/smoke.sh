#!/usr/bin/env bash
# The fuzz targets inside the test command: build them (preset "fuzz", clang)
# and run one briefly over its committed seeds plus fresh inputs. New inputs
# go to a scratch folder under build/fuzz, never into the seed folders.
#   smoke.sh build [WERROR: ON|OFF]
#   smoke.sh run NAME SECONDS      (NAME: command_line, base64, ...)
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
build)
  cmake --preset fuzz -DNORVANE_WERROR="${2:-OFF}" > /dev/null
  cmake --build --preset fuzz
  ;;
run)
  name=$2
  scratch=build/fuzz/smoke/$name
  rm -rf "$scratch"
  mkdir -p "$scratch"
  # A finding stops the run with a non-zero status and leaves crash-* or
  # leak-* in the scratch folder.
  exec build/fuzz/fuzz/fuzz_"$name" -max_total_time="$3" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$scratch/" "$scratch" fuzz/corpus/"$name"
  ;;
*)
  echo "usage: $0 build [ON|OFF] | run NAME SECONDS" >&2
  exit 2
  ;;
esac
