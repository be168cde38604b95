#!/usr/bin/env bash
# 300 JPEGs of 640x480 into an AVI: our writer against ffmpeg on the same files in the same
# run (best of 3 each), uncompressed and MJPEG; then peak RSS at 300 and 1,500 frames.
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

# Best of 3 runs, "wall cpu" in seconds (cpu = user + system). On a shared machine the wall
# time also counts waiting for a core, so both are given.
best() {
    local bw="" bc="" w u s c
    for _ in 1 2 3; do
        rm -f "$work"/out.avi
        /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>&1
        read -r w u s <"$work/time"
        c=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
        if [ -z "$bw" ] || awk -v a="$w" -v b="$bw" 'BEGIN { exit !(a < b) }'; then bw=$w; fi
        if [ -z "$bc" ] || awk -v a="$c" -v b="$bc" 'BEGIN { exit !(a < b) }'; then bc=$c; fi
    done
    echo "$bw $bc"
}
report() { # name "ours" "ffmpeg" goal
    local ow oc fw fc
    read -r ow oc <<<"$2"
    read -r fw fc <<<"$3"
    awk -v n="$1" -v ow="$ow" -v oc="$oc" -v fw="$fw" -v fc="$fc" -v g="$4" 'BEGIN {
        printf "%-12s wall: ours %.2fs, ffmpeg %.2fs, ratio %.2f | cpu: ours %.2fs, ffmpeg %.2fs, ratio %.2f (goal %s)\n",
               n, ow, fw, ow / fw, oc, fc, oc / fc, g }'
}
ff_raw=$(best ffmpeg -y -v error -framerate 2 -i "$work/in/%05d.jpg" -c:v rawvideo -pix_fmt bgr24 "$work/out.avi")
us_raw=$(best "$tool" "$work/out.avi" "$work/in")
ff_copy=$(best ffmpeg -y -v error -framerate 2 -i "$work/in/%05d.jpg" -c:v copy "$work/out.avi")
us_copy=$(best "$tool" --mjpeg "$work/out.avi" "$work/in")
report uncompressed "$us_raw" "$ff_raw" "<= 1, moonshot 0.5"
report mjpeg "$us_copy" "$ff_copy" "<= 1.5"
for n in 300 1500; do
    printf 'uncompressed %5d frames: ' "$n"; "$tool" --frames "$n" "$work/out.avi" "$work/in"
    printf 'mjpeg        %5d frames: ' "$n"; "$tool" --mjpeg --frames "$n" "$work/out.avi" "$work/in"
done
