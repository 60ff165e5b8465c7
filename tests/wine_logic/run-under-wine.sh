#!/usr/bin/env bash
# Runs a GoogleTest program under Wine in a fresh prefix of its own, with the
# test bed's HTTP server stand-in (testbed/server.py) on 127.0.0.1.
# Usage: run-under-wine.sh PROGRAM.exe PREFIX-DIR GTEST-FILTER
set -u
exe=$1 prefix=$2 filter=$3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY NORVANE_SERVER_PORT NORVANE_SERVER_LOG NORVANE_CLOSED_PORT
wine=$(command -v wine64 || command -v wine)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && { kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; }
    timeout 20 wineserver -k >/dev/null 2>&1
    rm -rf "$prefix" "$prefix.server"
}
trap cleanup EXIT
rm -rf "$prefix" "$prefix.server"
timeout 120 "$wine" wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w
# The machine's adapters, for the host-identity test.
macs=$(cat /sys/class/net/*/address 2>/dev/null | tr -d ':' | tr 'A-F' 'a-f' | tr '\n' ' ')
# The server stand-in, for the notification test (skipped without it).
server_py="$(cd "$(dirname "$0")/../../testbed" && pwd)/server.py"
if command -v python3 >/dev/null 2>&1; then
    mkdir -p "$prefix.server"
    timeout 300 python3 "$server_py" --port-file "$prefix.server/port" --log "$prefix.server/log" \
        --closed-port-file "$prefix.server/closed" --lifetime 240 </dev/null >/dev/null 2>&1 &
    server_pid=$!
    for _ in $(seq 100); do [ -s "$prefix.server/port" ] && break; sleep 0.1; done
    if [ -s "$prefix.server/port" ]; then
        export NORVANE_SERVER_PORT=$(cat "$prefix.server/port")
        export NORVANE_CLOSED_PORT=$(cat "$prefix.server/closed")
        export NORVANE_SERVER_LOG="Z:$(printf '%s' "$prefix.server/log" | tr / '\\')"
    fi
fi
NORVANE_MACS=$macs WINEDEBUG=-all timeout 120 "$wine" "$exe" --gtest_filter="$filter" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
