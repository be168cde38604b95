#!/usr/bin/env bash
# Sets up, builds and starts Ocelis with a demo webcam served on this machine (loopback,
# no internet needed): a viewer with a live picture opens within seconds.
#
#   ./run.sh          optimised build (the release preset)
#   ./run.sh --dev    debug build (the dev preset, with tests)
#
# Ocelis is a desktop tray program. Without a display (neither DISPLAY nor WAYLAND_DISPLAY
# set) the script starts itself again on a virtual X server (xvfb-run, installed by the
# set-up), where the program runs but nobody sees its windows.
set -euo pipefail
cd "$(dirname "$0")"

PRESET=release
case "${1:-}" in
    "") ;;
    --dev) PRESET=dev ;;
    *) echo "usage: ./run.sh [--dev]" >&2; exit 2 ;;
esac

./setup.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display found (DISPLAY and WAYLAND_DISPLAY are not set)." >&2
    if command -v xvfb-run >/dev/null 2>&1; then
        echo "run.sh: starting on a virtual X server (xvfb-run); its windows are not visible." >&2
        echo "run.sh: to see Ocelis, start ./run.sh from a desktop session." >&2
        exec xvfb-run -a "$0" "$@"
    fi
    echo "Ocelis is a desktop tray program. Start ./run.sh from a desktop session, or install" >&2
    echo "the virtual X server (Debian package xvfb) and start:  xvfb-run -a ./run.sh" >&2
    exit 1
fi

cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" --target ocelis ocelis-demo-cam ocelis_languages -j "$(nproc)"

BUILD="build/$PRESET"
DEMO="$BUILD/demo"
mkdir -p "$DEMO"
rm -f "$DEMO/port"

# The demo webcam on a free loopback port; a new picture every 3 seconds.
"$BUILD/tools/ocelis-demo-cam" --interval 3 --port-file "$DEMO/port" >"$DEMO/server.log" 2>&1 &
SERVER=$!
trap 'kill "$SERVER" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -s "$DEMO/port" ] && break
    kill -0 "$SERVER" 2>/dev/null || { cat "$DEMO/server.log" >&2; exit 1; }
    sleep 0.05
done
PORT=$(cat "$DEMO/port")

cat >"$DEMO/demo.cam" <<CAM
<?xml version="1.0" encoding="UTF-8"?>
<Cam>
 <Name>Ocelis demo webcam</Name>
 <Url>http://127.0.0.1:$PORT/cam.jpg</Url>
 <Refresh>3</Refresh>
</Cam>
CAM

echo "Demo webcam: http://127.0.0.1:$PORT/cam.jpg"
echo "Starting Ocelis (right-click its tray icon for the menu; Exit there or Ctrl+C here ends it)."
echo "The demo webcam is imported into the \"Imported\" category and its viewer opens."
STATUS=0
"$BUILD/ocelis" "$(pwd)/$DEMO/demo.cam" || STATUS=$?

# An Ocelis that was already running took the demo webcam over: keep serving it.
if pgrep -u "$(id -u)" -x ocelis >/dev/null 2>&1; then
    trap - EXIT
    echo "Ocelis was already running and opened the demo webcam there."
    echo "The demo webcam keeps running (pid $SERVER); stop it with: kill $SERVER"
fi
exit "$STATUS"
