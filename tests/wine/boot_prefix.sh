#!/usr/bin/env bash
# Creates the Wine prefix named by WINEPREFIX with `wineboot -i`, trying up to
# three times. Seen under load on a fresh machine: wineboot ends with 1
# ("ShellExecuteEx failed: Internal error") before the prefix is complete; a
# half-made prefix is removed and made again.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
for attempt in 1 2 3; do
    if timeout 180 wineboot -i >/dev/null 2>&1; then
        exit 0
    fi
    echo "boot_prefix: creating $WINEPREFIX failed (attempt $attempt)" >&2
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 60 wineserver -w >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
done
exit 1
