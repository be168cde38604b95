#!/usr/bin/env bash
# 300 JPEGs of 640x480 into an AVI: our writer against ffmpeg on the same files in the same
# run (best of 5 rounds), uncompressed and MJPEG; then peak RSS at 300 and 1,500 frames.
# Usage: bench/avi.sh   (builds the bench preset's bench_avi first)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target bench_avi >/dev/null
tool=$PWD/build/bench/bench/bench_avi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
# Camera-like pictures: moving test pattern plus sensor noise.
ffmpeg -v error -f lavfi -i testsrc2=size=640x480:rate=2 -vf noise=alls=10:allf=t \
    -frames:v 300 -q:v 3 "$work/in/%05d.jpg"
cat "$work"/in/*.jpg >/dev/null

# One timed run: "wall cpu" in seconds (cpu = user + system). On a shared machine the wall
# time also counts waiting for a core, so both are given.
timed() {
    rm -f "$work"/out.avi
    /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ print $1, $2 + $3 }' "$work/time"
}
# race NAME GOAL -- FFMPEG ARGS... -- OUR ARGS...: 5 rounds, ffmpeg and ours in turn (so both
# see the same load), best wall and best cpu of each.
race() {
    local name=$1 goal=$2
    shift 3
    local ff=() us=()
    while [ "$1" != "--" ]; do ff+=("$1"); shift; done
    shift
    us=("$@")
    local results=()
    for _ in 1 2 3 4 5; do
        results+=("f $(timed "${ff[@]}")" "u $(timed "${us[@]}")")
    done
    printf '%s\n' "${results[@]}" | awk -v n="$name" -v g="$goal" '
        !($1 in w) || $2 < w[$1] { w[$1] = $2 }
        !($1 in c) || $3 < c[$1] { c[$1] = $3 }
        END { printf "%-12s wall: ours %.2fs, ffmpeg %.2fs, ratio %.2f | cpu: ours %.2fs, ffmpeg %.2fs, ratio %.2f (goal %s)\n",
                     n, w["u"], w["f"], w["u"] / w["f"], c["u"], c["f"], c["u"] / c["f"], g }'
}
race uncompressed "<= 1, moonshot 0.5" -- \
    ffmpeg -y -v error -framerate 2 -i "$work/in/%05d.jpg" -c:v rawvideo -pix_fmt bgr24 "$work/out.avi" -- \
    "$tool" "$work/out.avi" "$work/in"
race mjpeg "<= 1.5" -- \
    ffmpeg -y -v error -framerate 2 -i "$work/in/%05d.jpg" -c:v copy "$work/out.avi" -- \
    "$tool" --mjpeg "$work/out.avi" "$work/in"
for n in 300 1500; do
    printf 'uncompressed %5d frames: ' "$n"; "$tool" --frames "$n" "$work/out.avi" "$work/in"
    printf 'mjpeg        %5d frames: ' "$n"; "$tool" --mjpeg --frames "$n" "$work/out.avi" "$work/in"
done
