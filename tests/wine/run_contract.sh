#!/bin/sh
# Runs the port's contract tests (norvane_contract_tests.exe) under Wine in a
# fresh, quiet prefix of their own, with the test bed's stand-in service
# installed and its HTTP server stand-in (testbed/server.py) listening on
# 127.0.0.1, and removes both afterwards, whether the tests pass or not.
#
#   run_contract.sh TESTS_EXE [STANDIN_SERVICE_EXE] [extra gtest arguments...]
#
# Every wine call is bounded by `timeout`; the prefix's wineserver is ended
# at the end (after the stand-in service is stopped).
set -u

tests_exe=$1
shift
standin_exe=""
if [ $# -gt 0 ]; then
    standin_exe=$1
    shift
fi

if [ ! -f "$tests_exe" ]; then
    echo "run_contract: no test program at $tests_exe" >&2
    exit 1
fi

prefix=$(mktemp -d /tmp/norvane-contract-wine.XXXXXX) || exit 1
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# Set below for the passes that need them, never inherited.
unset NORVANE_EXPECT_ACP NORVANE_STANDIN_SERVICE NORVANE_HOST_MACS
unset NORVANE_CONTRACT_SERVER_PORT NORVANE_CONTRACT_CLOSED_PORT NORVANE_CONTRACT_SERVER_LOG

service=nvstandin
installed=no

server_pid=""
server_py="$(cd "$(dirname "$0")/../../testbed" && pwd)/server.py"

cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
    fi
    if [ "$installed" = yes ]; then
        timeout 30 wine sc stop "$service" >/dev/null 2>&1
    fi
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
    rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! bash "$(dirname "$0")/boot_prefix.sh"; then
    echo "run_contract: wineboot failed" >&2
    exit 1
fi
# Message boxes without a display: the null graphics driver (in force once
# the server has restarted).
timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
timeout 60 wineserver -w

if [ -n "$standin_exe" ] && [ -f "$standin_exe" ]; then
    mkdir -p "$prefix/drive_c/norvane"
    cp "$standin_exe" "$prefix/drive_c/norvane/$service.exe"
    if timeout 60 wine sc create "$service" binPath= "C:\\norvane\\$service.exe" \
        DisplayName= "Norvane contract stand-in" >/dev/null 2>&1; then
        installed=yes
        export NORVANE_STANDIN_SERVICE="$service"
    else
        echo "run_contract: could not install the stand-in service" >&2
    fi
else
    echo "run_contract: no stand-in service program; its test is skipped" >&2
fi

# The HTTP server stand-in for the WinINet checks (bounded by its own
# lifetime and by timeout; ended by cleanup). Its log is read from Wine's Z:.
if command -v python3 >/dev/null 2>&1 && [ -f "$server_py" ]; then
    mkdir -p "$prefix/server"
    timeout 400 python3 "$server_py" --port-file "$prefix/server/port" \
        --log "$prefix/server/log" --closed-port-file "$prefix/server/closed" \
        --lifetime 360 </dev/null >/dev/null 2>&1 &
    server_pid=$!
    for _ in $(seq 100); do
        [ -s "$prefix/server/port" ] && break
        sleep 0.1
    done
    if [ -s "$prefix/server/port" ]; then
        NORVANE_CONTRACT_SERVER_PORT=$(cat "$prefix/server/port")
        NORVANE_CONTRACT_CLOSED_PORT=$(cat "$prefix/server/closed")
        NORVANE_CONTRACT_SERVER_LOG="Z:$(printf '%s' "$prefix/server/log" | tr / '\\')"
        export NORVANE_CONTRACT_SERVER_PORT NORVANE_CONTRACT_CLOSED_PORT NORVANE_CONTRACT_SERVER_LOG
    else
        echo "run_contract: the HTTP server stand-in did not start" >&2
    fi
else
    echo "run_contract: no python3 or server stand-in; the WinINet checks are skipped" >&2
fi

# The host's adapter addresses, which NetBIOS must report.
NORVANE_HOST_MACS=$(cat /sys/class/net/*/address 2>/dev/null | grep -v '^00:00:00:00:00:00$' |
    tr '\n' ' ')
export NORVANE_HOST_MACS

timeout 300 wine "$tests_exe" --gtest_color=no "$@"
status=$?

# The same checks of code-page behaviour once more on a double-byte code page.
if [ $status -eq 0 ]; then
    NORVANE_EXPECT_ACP=932 LC_ALL=ja_JP.UTF-8 timeout 120 wine "$tests_exe" --gtest_color=no \
        --gtest_filter='*CodePage*' "$@"
    status=$?
fi
exit $status
