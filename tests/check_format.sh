#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what .clang-format
# makes of it, and also when it checked nothing (no git, no files found).
#   check_format.sh CLANG_FORMAT REPOSITORY
set -euo pipefail
clang_format=$1
cd "$2"
mapfile -d '' files < <(git ls-files -z 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
                          'testbed/*.cpp' 'testbed/*.h' 'bench/*.cpp' 'fuzz/*.cpp')
# The process substitution's failure does not reach set -e; ask git again.
git rev-parse --is-inside-work-tree > /dev/null
if [ "${#files[@]}" -lt 10 ]; then
  echo "only ${#files[@]} C++ files found: nothing worth checking here" >&2
  exit 1
fi
"$clang_format" --dry-run --Werror "${files[@]}"
echo "${#files[@]} files formatted as .clang-format says"
