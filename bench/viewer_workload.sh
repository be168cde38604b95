#!/usr/bin/env bash
# The viewer workload: N viewers of changing 1280x720 JPEGs (about 190 KB, a new picture
# every second, Refresh 1) on a loopback server, or one viewer of an endless body. Prints
# the program's CPU use and resident memory read from /proc.
#
#   bench/viewer_workload.sh [options]
#     --bin PATH          program to run (default: build it with the release preset)
#     --viewers N         viewers to open (default 20)
#     --status on|off     status bar of new viewers (default on)
#     --endless           one viewer of a body that never ends instead
#     --warmup S          seconds before measuring (default 10)
#     --seconds S         seconds measured (default 30)
#     --screenshot FILE   PNG of the screen at the end (with `import`, when installed)
#     --compare 'CMD'     run N copies of CMD instead ({url} is replaced by each URL) and
#                         measure them the same way
#
# Runs under its own Xvfb screen of 2560x1600 (room for a 1280x739 viewer), with a private HOME
# and runtime folder, so a running Ocelis of the user is not disturbed.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=""
VIEWERS=20
STATUS=on
ENDLESS=0
WARMUP=10
SECONDS_MEASURED=30
SHOT=""
COMPARE=""
while [ $# -gt 0 ]; do
    case "$1" in
    --bin) BIN=$2; shift 2 ;;
    --viewers) VIEWERS=$2; shift 2 ;;
    --status) STATUS=$2; shift 2 ;;
    --endless) ENDLESS=1; VIEWERS=1; shift ;;
    --warmup) WARMUP=$2; shift 2 ;;
    --seconds) SECONDS_MEASURED=$2; shift 2 ;;
    --screenshot) SHOT=$2; shift 2 ;;
    --compare) COMPARE=$2; shift 2 ;;
    *) sed -n '2,18p' "$0" >&2; exit 2 ;;
    esac
done

if [ -z "$BIN" ] && [ -z "$COMPARE" ]; then
    (cd "$ROOT" && cmake --preset release >/dev/null &&
        cmake --build --preset release --target ocelis >/dev/null)
    BIN=$ROOT/build/release/ocelis
fi

W=$(mktemp -d /tmp/ocelis-workload.XXXXXX)
PIDS=()
cleanup() {
    local p
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$W"
}
trap cleanup EXIT

mkdir -p "$W/app" "$W/home" "$W/run" "$W/frames"
chmod 700 "$W/run"
export HOME=$W/home XDG_RUNTIME_DIR=$W/run XDG_CONFIG_HOME=$W/home/.config \
    XDG_DATA_HOME=$W/home/.local/share

# Display.
Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$W/display" 2>/dev/null &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$W/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$W/display")
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# Pictures and server.
cc -O2 -o "$W/frames/make" "$ROOT/bench/viewer_workload_frames.c" -ljpeg
"$W/frames/make" "$W/frames" 10
python3 "$ROOT/bench/viewer_workload_server.py" "$W/frames" "$W/port" &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$W/port" ] && break; sleep 0.1; done
PORT=$(cat "$W/port")

url() { # camera number
    if [ "$ENDLESS" = 1 ]; then echo "http://127.0.0.1:$PORT/endless"; else
        echo "http://127.0.0.1:$PORT/cam/$1.jpg"; fi
}

ticks() { # total CPU ticks of the given processes
    local t=0 p f
    for p in "$@"; do
        f=$(sed 's/.*) //' "/proc/$p/stat" 2>/dev/null) || continue
        set -- $f
        t=$((t + ${12} + ${13}))
    done
    echo "$t"
}
kb() { # field of /proc/PID/status summed over processes, in kB
    local field=$1 sum=0 p v
    shift
    for p in "$@"; do
        v=$(awk -v f="$field:" '$1 == f { print $2 }' "/proc/$p/status" 2>/dev/null || echo 0)
        sum=$((sum + ${v:-0}))
    done
    echo "$sum"
}

MEASURED=()
IDLE_KB=0
if [ -n "$COMPARE" ]; then
    for i in $(seq 1 "$VIEWERS"); do
        ${COMPARE//\{url\}/$(url "$i")} >/dev/null 2>&1 &
        PIDS+=($!)
        MEASURED+=($!)
    done
else
    cp "$BIN" "$W/app/ocelis"
    [ "$STATUS" = on ] && S=-1 || S=0
    printf '%s' "<?xml version=\"1.0\"?><Options><Category Name=\"\"><Categories/><Cams/></Category>" \
        "<AlwaysOnTop>0</AlwaysOnTop><SaveImages>0</SaveImages><SavePath></SavePath>" \
        "<Beep>0</Beep><PropResize>-1</PropResize><Status>$S</Status>" \
        "<SubDirectory>0</SubDirectory><FirstLaunch>0</FirstLaunch><Language></Language>" \
        "<LaunchWindows>0</LaunchWindows></Options>" >"$W/app/Options.xml"
    "$W/app/ocelis" >"$W/ocelis.log" 2>&1 &
    APP=$!
    PIDS+=($APP)
    MEASURED=($APP)
    for _ in $(seq 100); do ls "$W/run"/*.sock >/dev/null 2>&1 && break; sleep 0.1; done
    sleep 2
    IDLE_KB=$(kb VmRSS "$APP")
    for i in $(seq 1 "$VIEWERS"); do
        printf '<?xml version="1.0"?>\n<Cam><Name>Camera %s</Name><Url>%s</Url><Refresh>1</Refresh></Cam>\n' \
            "$i" "$(url "$i")" >"$W/cam$i.cam"
        "$W/app/ocelis" "$W/cam$i.cam"
    done
fi

sleep "$WARMUP"
T0=$(ticks "${MEASURED[@]}")
sleep "$SECONDS_MEASURED"
T1=$(ticks "${MEASURED[@]}")
HZ=$(getconf CLK_TCK)
RSS=$(kb VmRSS "${MEASURED[@]}")
HWM=$(kb VmHWM "${MEASURED[@]}")

awk -v t=$((T1 - T0)) -v hz="$HZ" -v s="$SECONDS_MEASURED" -v n="$VIEWERS" -v rss="$RSS" \
    -v hwm="$HWM" -v idle="$IDLE_KB" -v endless="$ENDLESS" \
    -v what="${COMPARE:+compared command}" -v status="$STATUS" 'BEGIN {
    printf "viewers %d%s, %s: CPU %.1f %% of a core over %d s\n", n,
        endless ? " (endless body)" : "", what != "" ? what : "status " status,
        100 * t / hz / s, s
    printf "RSS %.1f MB, peak %.1f MB", rss / 1024, hwm / 1024
    if (idle > 0)
        printf ", idle program %.1f MB, per viewer %.2f MB, peak above idle %.1f MB",
            idle / 1024, (rss - idle) / 1024 / n, (hwm - idle) / 1024
    printf "\n"
}'

if [ -n "$SHOT" ]; then
    if command -v import >/dev/null; then import -window root "$SHOT"; else
        echo "no screenshot: import is not installed" >&2; fi
fi
