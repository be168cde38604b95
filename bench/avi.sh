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

best() { # best wall time of 3 runs of the command, in seconds
    local b=
    for _ in 1 2 3; do
        rm -f "$work"/out.avi
        local t
        t=$( { /usr/bin/time -f %e "$@" >/dev/null 2>/dev/null; } 2>&1 | tail -1)
        if [ -z "$b" ] || awk "BEGIN{exit !($t < $b)}"; then b=$t; fi
    done
    echo "$b"
}
ff_raw=$(best ffmpeg -y -v error -framerate 2 -i "$work/in/%05d.jpg" -c:v rawvideo -pix_fmt bgr24 "$work/out.avi")
us_raw=$(best "$tool" "$work/out.avi" "$work/in")
ff_copy=$(best ffmpeg -y -v error -framerate 2 -i "$work/in/%05d.jpg" -c:v copy "$work/out.avi")
us_copy=$(best "$tool" --mjpeg "$work/out.avi" "$work/in")
printf 'uncompressed: ours %ss, ffmpeg %ss, ratio %s (goal <= 1, moonshot 0.5)\n' \
    "$us_raw" "$ff_raw" "$(awk "BEGIN{printf \"%.2f\", $us_raw/$ff_raw}")"
printf 'mjpeg:        ours %ss, ffmpeg %ss, ratio %s (goal <= 1.5)\n' \
    "$us_copy" "$ff_copy" "$(awk "BEGIN{printf \"%.2f\", $us_copy/$ff_copy}")"
for n in 300 1500; do
    printf 'uncompressed %5d frames: ' "$n"; "$tool" --frames "$n" "$work/out.avi" "$work/in"
    printf 'mjpeg        %5d frames: ' "$n"; "$tool" --mjpeg --frames "$n" "$work/out.avi" "$work/in"
done
