#!/usr/bin/env bash
# The viewer workload: N viewers of changing JPEGs (1280x720 of about 190 KB unless told
# otherwise, a new picture every second, Refresh 1) on a loopback server, or one viewer of an
# endless body. Prints the program's CPU use and resident memory read from /proc, then does
# the same for N windows of a plain image viewer reloading every second on the same URLs in
# the same run (the anchor).
#
#   bench/viewer_workload.sh [options]
#     --bin PATH          program to run (default: build it with the release preset)
#     --viewers N         viewers to open (default 20)
#     --status on|off     status bar of new viewers (default on)
#     --picture WxH       size of the pictures served (default 1280x720)
#     --window WxH|full   viewer window size, set once the first picture is in (default
#                         320x240; full: as the first picture sizes it, 100 %)
#     --endless           one viewer of a body that never ends instead
#     --warmup S          seconds before measuring (default 10)
#     --seconds S         seconds measured (default 60)
#     --screenshot FILE   PNG of the screen at the end (with `import`, when installed)
#     --compare 'CMD'     the anchor: N copies of CMD ({url} is replaced by each URL, {geometry}
#                         by the window size) measured the same way (default: an image
#                         viewer reloading every second, each picture at its own size;
#                         'none': no anchor)
#
# Runs under its own Xvfb screen of 2560x1600 (room for a 1920x1099 viewer), with a private
# HOME and runtime folder, so a running Ocelis of the user is not disturbed. Its tools come
# with ./setup.sh --bench.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=""
VIEWERS=20
STATUS=on
ENDLESS=0
WARMUP=10
SECONDS_MEASURED=60
SHOT=""
PICTURE=1280x720
WINDOW=320x240
COMPARE="feh --reload 1 {url}"
while [ $# -gt 0 ]; do
    case "$1" in
    --bin) BIN=$2; shift 2 ;;
    --viewers) VIEWERS=$2; shift 2 ;;
    --status) STATUS=$2; shift 2 ;;
    --picture) PICTURE=$2; shift 2 ;;
    --window) WINDOW=$2; shift 2 ;;
    --endless) ENDLESS=1; VIEWERS=1; shift ;;
    --warmup) WARMUP=$2; shift 2 ;;
    --seconds) SECONDS_MEASURED=$2; shift 2 ;;
    --screenshot) SHOT=$2; shift 2 ;;
    --compare) COMPARE=$2; shift 2 ;;
    *) sed -n '2,25p' "$0" >&2; exit 2 ;;
    esac
done

[ "$COMPARE" = none ] && COMPARE=""
if [ -z "$BIN" ]; then
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
"$W/frames/make" "$W/frames" 10 "${PICTURE%x*}" "${PICTURE#*x}"
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

# Window size for the anchor and for the viewers once their first picture is in.
if [ "$WINDOW" = full ]; then
    GEOMETRY=$PICTURE
else
    GEOMETRY=$WINDOW
fi

# Measures the processes in MEASURED for SECONDS_MEASURED after WARMUP; prints one line of
# figures, the label first.
measure() {
    local label=$1 idle=$2
    sleep "$WARMUP"
    local t0 t1 hz rss hwm
    t0=$(ticks "${MEASURED[@]}")
    sleep "$SECONDS_MEASURED"
    t1=$(ticks "${MEASURED[@]}")
    hz=$(getconf CLK_TCK)
    rss=$(kb VmRSS "${MEASURED[@]}")
    hwm=$(kb VmHWM "${MEASURED[@]}")
    awk -v t=$((t1 - t0)) -v hz="$hz" -v s="$SECONDS_MEASURED" -v n="$VIEWERS" -v rss="$rss" \
        -v hwm="$hwm" -v idle="$idle" -v label="$label" -v out="$W/figures" 'BEGIN {
        cpu = 100 * t / hz / s
        printf "%s: CPU %.1f %% of a core over %d s, RSS %.1f MB, peak %.1f MB", label, cpu, s,
            rss / 1024, hwm / 1024
        if (idle > 0)
            printf ", idle program %.1f MB, per viewer %.2f MB, peak above idle %.1f MB",
                idle / 1024, (rss - idle) / 1024 / n, (hwm - idle) / 1024
        else
            printf ", per viewer %.2f MB", rss / 1024 / n
        printf "\n"
        printf "%s %.3f %.3f\n", label, cpu, (rss - idle) / 1024 / n >> out
    }'
}

# Ocelis.
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
if [ "$WINDOW" != full ]; then
    # The first picture sizes each window to 100 %; the size wanted comes after it.
    sized=0
    for _ in $(seq 300); do
        ids=$(xdotool search --name '^Camera [0-9]+$' 2>/dev/null || true)
        sized=0
        for id in $ids; do
            g=$(xdotool getwindowgeometry "$id" | awk '/Geometry/ { print $2 }')
            [ "$g" = "$GEOMETRY" ] && { sized=$((sized + 1)); continue; }
            [ "$g" != 308x253 ] && xdotool windowsize "$id" "${GEOMETRY%x*}" "${GEOMETRY#*x}"
        done
        [ "$sized" -ge "$VIEWERS" ] && break
        sleep 0.2
    done
    [ "$sized" -ge "$VIEWERS" ] || echo "only $sized of $VIEWERS windows took $GEOMETRY" >&2
fi
[ "$ENDLESS" = 1 ] && WHAT="endless body" || WHAT="$PICTURE pictures"
measure "ocelis, $VIEWERS viewers of $WHAT in $GEOMETRY, status $STATUS" "$IDLE_KB"
if [ -n "$SHOT" ]; then
    if command -v import >/dev/null; then import -window root "$SHOT"; else
        echo "no screenshot: import is not installed" >&2; fi
fi
kill "$APP" 2>/dev/null || true
wait "$APP" 2>/dev/null || true

# The anchor, on the same server.
if [ -n "$COMPARE" ]; then
    MEASURED=()
    for i in $(seq 1 "$VIEWERS"); do
        cmd=${COMPARE//\{url\}/$(url "$i")}
        ${cmd//\{geometry\}/$GEOMETRY} >/dev/null 2>&1 &
        PIDS+=($!)
        MEASURED+=($!)
    done
    measure "anchor ($COMPARE)" 0
    awk 'NR == 1 { c = $NF; cpu = $(NF - 1); next }
         { printf "ratio: CPU %.3f x the anchor, memory per viewer %.3f x\n",
             ($(NF - 1) > 0 ? cpu / $(NF - 1) : 0), ($NF > 0 ? c / $NF : 0) }' "$W/figures"
fi
