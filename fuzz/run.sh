#!/usr/bin/env bash
# Builds and runs the fuzz targets (preset "fuzz", clang). Found inputs go to
# folders under build/fuzz, never into the committed seed folders.
#   run.sh build [WERROR: ON|OFF]
#   run.sh smoke NAME SECONDS      a short run over the seeds and fresh inputs
#                                  (NAME: command_line, base64, ...), from scratch
#   run.sh campaign NAME SECONDS   a long run whose corpus grows from one run to
#                                  the next (build/fuzz/campaign/NAME); the log
#                                  is build/fuzz/campaign/NAME.log
# A finding stops the run with a non-zero status and leaves crash-*, leak-*
# or timeout-* beside the corpus folder.
set -euo pipefail
cd "$(dirname "$0")/.."

run() { # NAME SECONDS CORPUS [more libFuzzer options]
  local name=$1 seconds=$2 corpus=$3
  shift 3
  mkdir -p "$corpus"
  build/fuzz/fuzz/fuzz_"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$corpus-" "$@" "$corpus" fuzz/corpus/"$name"
}

case "${1:-}" in
build)
  cmake --preset fuzz -DNORVANE_WERROR="${2:-OFF}" > /dev/null
  cmake --build --preset fuzz
  ;;
smoke)
  rm -rf build/fuzz/smoke/"$2" build/fuzz/smoke/"$2"-*
  run "$2" "$3" build/fuzz/smoke/"$2"
  ;;
campaign)
  mkdir -p build/fuzz/campaign
  run "$2" "$3" build/fuzz/campaign/"$2" 2>&1 | tee build/fuzz/campaign/"$2".log
  ;;
*)
  echo "usage: $0 build [ON|OFF] | smoke NAME SECONDS | campaign NAME SECONDS" >&2
  exit 2
  ;;
esac
