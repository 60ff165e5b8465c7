#!/usr/bin/env bash
# Runs a GoogleTest program under Wine in a fresh prefix of its own.
# Usage: run-under-wine.sh PROGRAM.exe PREFIX-DIR GTEST-FILTER
set -u
exe=$1 prefix=$2 filter=$3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
wine=$(command -v wine64 || command -v wine)
cleanup() { timeout 20 wineserver -k >/dev/null 2>&1; rm -rf "$prefix"; }
trap cleanup EXIT
rm -rf "$prefix"
bash "$(dirname "$0")/../wine/boot_prefix.sh" || { echo "run-under-wine: wineboot failed" >&2; exit 1; }
timeout 60 wineserver -w
# The machine's adapters, for the host-identity test.
macs=$(cat /sys/class/net/*/address 2>/dev/null | tr -d ':' | tr 'A-F' 'a-f' | tr '\n' ' ')
NORVANE_MACS=$macs WINEDEBUG=-all timeout 120 "$wine" "$exe" --gtest_filter="$filter" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
