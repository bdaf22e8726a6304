#!/usr/bin/env bash
# Builds the x86_64 executable and starts it under Wine, in a Wine virtual desktop so that the
# window has its frame. Without a display it starts Xvfb and saves a screenshot instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
dir=$(scripts/build.sh x86_64 | tail -n1)
exe=$(find "$dir" -name VelloranUtility.exe | head -n1)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/velloran-wine/run-prefix}
mkdir -p "$WINEPREFIX"

if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:77
    Xvfb "$DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb=$!
    trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
    sleep 1
    wine explorer /desktop=Velloran,1000x700 "$exe" &
    sleep "${VU_RUN_SECONDS:-20}"
    import -window root build/run-screenshot.png
    echo "No display: screenshot saved to build/run-screenshot.png"
else
    exec wine explorer /desktop=Velloran,1000x700 "$exe"
fi
