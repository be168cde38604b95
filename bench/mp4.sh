#!/usr/bin/env bash
# H.264 in MP4 from JPEGs: our writer (bench_avi with an .mp4 name) against ffmpeg's libx264
# at the same preset and quality on the same files in the same run (best of 3 rounds), the
# file sizes against ffmpeg's and against our MJPEG AVI; then time and peak RSS for 300
# pictures of 1280x720 into MP4 and into MJPEG AVI.
# Usage: bench/mp4.sh   (builds the bench preset's bench_avi first)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target bench_avi >/dev/null
tool=$PWD/build/bench/bench/bench_avi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Camera-like pictures: moving test pattern plus sensor noise.
pictures() {
    mkdir -p "$work/$1"
    ffmpeg -v error -f lavfi -i "testsrc2=size=$1:rate=2" -vf noise=alls=10:allf=t \
        -frames:v 300 -q:v 3 "$work/$1/%05d.jpg"
    cat "$work/$1"/*.jpg >/dev/null
}
# "wall cpu peakRSS(MB)" of one run.
timed() {
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%s %.2f %d\n", $1, $2 + $3, $4 / 1024 }' "$work/time"
}
size() { stat -c %s "$1"; }

pictures 640x480
best_f="" best_u=""
for _ in 1 2 3; do
    f=$(timed ffmpeg -y -v error -framerate 2 -i "$work/640x480/%05d.jpg" -c:v libx264 \
        -preset medium -crf 23 -pix_fmt yuv420p "$work/ff.mp4")
    u=$(timed "$tool" "$work/us.mp4" "$work/640x480")
    best_f=$(printf '%s\n%s\n' "$best_f" "$f" | awk 'NF' | sort -n | head -n1)
    best_u=$(printf '%s\n%s\n' "$best_u" "$u" | awk 'NF' | sort -n | head -n1)
done
"$tool" --mjpeg "$work/us.avi" "$work/640x480" >/dev/null
awk -v f="$best_f" -v u="$best_u" -v fs="$(size "$work/ff.mp4")" -v us="$(size "$work/us.mp4")" \
    -v avi="$(size "$work/us.avi")" 'BEGIN {
    split(f, F, " "); split(u, U, " ")
    printf "640x480 x300 mp4   wall: ours %.2fs, ffmpeg %.2fs, ratio %.2f (goal <= 1, moonshot 0.8) | cpu: ours %.2fs, ffmpeg %.2fs\n", U[1], F[1], U[1] / F[1], U[2], F[2]
    printf "640x480 x300 size: ours %d B, ffmpeg %d B, ratio %.3f (goal <= 1.05); MJPEG AVI %d B is %.1fx ours\n", us, fs, us / fs, avi, avi / us
}'

pictures 1280x720
printf '1280x720 x300 mp4:        %s\n' "$("$tool" "$work/hd.mp4" "$work/1280x720")"
printf '1280x720 x300 mjpeg avi:  %s\n' "$("$tool" --mjpeg "$work/hd.avi" "$work/1280x720")"
printf '1280x720 x300 sizes: mp4 %d B, mjpeg avi %d B\n' "$(size "$work/hd.mp4")" "$(size "$work/hd.avi")"
