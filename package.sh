#!/usr/bin/env bash
# Builds the Debian package from a release build, checks it with lintian, unpacks it into a
# temporary root and starts the unpacked program on a private X server until its tray icon
# shows (trayer), then once more on a private D-Bus tray whose menu must list the language
# files shipped in the package. Prints PASS or FAIL; exits non-zero on failure.
#
#   ./package.sh      writes build/package/ocelis_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")"
SRC=$PWD
BUILD=build/package

START=$SECONDS
STEP=$SECONDS
step() { echo "package: $1 ($((SECONDS - STEP)) s)"; STEP=$SECONDS; }

T=""
PIDS=()
fail() {
    echo "package: $*" >&2
    echo "FAIL"
    exit 1
}
# Each helper runs in its own process group, so ending it ends what it started too.
stop_all() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill -TERM -- "-$pid" 2>/dev/null || true
    done
    for pid in "${PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    PIDS=()
}
cleanup() {
    stop_all
    if [ -n "$T" ]; then
        rm -rf "$T"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits for a condition (a shell command) for up to $1 seconds.
wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

./setup.sh --package

# 1. Release build for /usr, with the hardening Debian builds its own packages with.
cmake --preset release -B "$BUILD" -DCMAKE_INSTALL_PREFIX=/usr \
    "-DCMAKE_CXX_FLAGS=-fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wformat -Werror=format-security" \
    "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build "$BUILD" -j "$(nproc)"
step "release build"

# 2. The package.
ARCH=$(dpkg --print-architecture)
rm -f "$BUILD"/ocelis_*.deb
(cd "$BUILD" && cpack >/dev/null) || fail "cpack failed"
shopt -s nullglob
DEBS=("$BUILD"/ocelis_*_"$ARCH".deb)
shopt -u nullglob
[ ${#DEBS[@]} -eq 1 ] || fail "expected one ocelis_<version>_$ARCH.deb in $BUILD"
DEB=${DEBS[0]}
VERSION=$(dpkg-deb -f "$DEB" Version)
[ "$DEB" = "$BUILD/ocelis_${VERSION}_$ARCH.deb" ] || fail "$DEB is not named after version $VERSION"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
[ "$(dpkg-deb -f "$DEB" Recommends)" = qt6-translations-l10n ] ||
    fail "Recommends is not qt6-translations-l10n: $(dpkg-deb -f "$DEB" Recommends)"
case "$DEPENDS" in
    *libqt6widgets6*) ;;
    *) fail "Depends lacks the libraries dpkg-shlibdeps finds: $DEPENDS" ;;
esac
# MP4 export: FFmpeg's run-time libraries, found by dpkg-shlibdeps from the links.
for lib in libavformat libavcodec libswscale libavutil; do
    case "$DEPENDS" in
        *"$lib"[0-9]*) ;;
        *) fail "Depends lacks $lib: $DEPENDS" ;;
    esac
done
step "cpack: $DEB"

# 3. lintian: errors fail, warnings and the rest are shown.
echo "package: lintian $DEB"
lintian --fail-on error --display-info "$DEB" || fail "lintian reports errors"
step "lintian"

# 4. Unpacked into a temporary root, with every file an installed copy needs.
T=$(mktemp -d /tmp/ocelis-package.XXXXXX)
ROOT=$T/root
dpkg -x "$DEB" "$ROOT"
for f in usr/bin/ocelis usr/share/applications/ocelis.desktop \
    usr/share/mime/packages/ocelis-cam.xml usr/share/icons/hicolor/scalable/apps/ocelis.svg \
    usr/share/metainfo/io.github.ocelis.Ocelis.metainfo.xml \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64}/apps/ocelis.png \
    usr/share/ocelis/Languages/English.xml usr/share/ocelis/Languages/Deutsch.xml \
    usr/share/doc/ocelis/copyright usr/share/doc/ocelis/changelog.gz \
    usr/share/man/man1/ocelis.1.gz; do
    [ -f "$ROOT/$f" ] || fail "the package lacks /$f"
done
# The copyright file is machine-readable and names the licence.
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$ROOT/usr/share/doc/ocelis/copyright" || fail "the copyright file is not in DEP-5 form"
grep -q '^License: GPL-3.0-or-later$' "$ROOT/usr/share/doc/ocelis/copyright" ||
    fail "the copyright file does not name GPL-3.0-or-later"
# A language file only this root has: its menu entry proves the lookup in <root>/usr/share.
cp "$ROOT/usr/share/ocelis/Languages/English.xml" "$ROOT/usr/share/ocelis/Languages/Unpacked.xml"

mkdir -p "$T/home/config" "$T/home/data" "$T/run"
chmod 700 "$T/run"
run_env=(env -i "HOME=$T/home" "XDG_CONFIG_HOME=$T/home/config" "XDG_DATA_HOME=$T/home/data"
    "XDG_RUNTIME_DIR=$T/run" "PATH=/usr/bin:/bin" "LANG=C.UTF-8")

# 5. A private X server and the tray host.
setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$T/display" 2>"$T/xvfb.log" &
PIDS+=($!)
wait_for 15 grep -q '^[0-9]' "$T/display" || fail "Xvfb did not start: $(cat "$T/xvfb.log")"
DISPLAY=:$(head -n1 "$T/display")
run_env+=("DISPLAY=$DISPLAY")
x() { "${run_env[@]}" "$@"; }

setsid "${run_env[@]}" trayer --edge bottom --align right --widthtype pixel --width 120 \
    --height 32 --transparent false --tint 0x808080 --SetDockType true >"$T/trayer.log" 2>&1 &
PIDS+=($!)
wait_for 15 x xdotool search --onlyvisible --class trayer >/dev/null ||
    fail "trayer did not show its window"
step "Xvfb $DISPLAY and trayer"

# Our small visible window named "Ocelis": the tray icon embedded in the tray host.
tray_icon() {
    local id geometry w h
    for id in $(x xdotool search --onlyvisible --class ocelis 2>/dev/null); do
        [ "$(x xdotool getwindowname "$id" 2>/dev/null)" = Ocelis ] || continue
        geometry=$(x xdotool getwindowgeometry "$id" 2>/dev/null | sed -n 's/.*Geometry: //p')
        w=${geometry%x*}
        h=${geometry#*x}
        if [ -n "$w" ] && [ "$w" -le 64 ] && [ "$h" -le 64 ]; then
            echo "$id ${w}x$h"
            return 0
        fi
    done
    return 1
}

# Ends the program with SIGTERM; it must exit with status 0 within 10 s.
stop_ocelis() {
    local pid=$1 status=0
    kill -TERM "$pid"
    wait_for 10 eval "! kill -0 $pid 2>/dev/null" || fail "ocelis did not exit after SIGTERM"
    wait "$pid" || status=$?
    local p left=()
    for p in "${PIDS[@]}"; do
        [ "$p" = "$pid" ] || left+=("$p")
    done
    PIDS=("${left[@]}")
    [ "$status" -eq 0 ] || fail "ocelis exited with status $status after SIGTERM: $(cat "$2")"
}

# 6. The unpacked program shows its tray icon.
setsid "${run_env[@]}" "$ROOT/usr/bin/ocelis" >"$T/ocelis.log" 2>&1 &
OCELIS=$!
PIDS+=("$OCELIS")
wait_for 20 tray_icon >"$T/icon" || fail "no tray icon: $(cat "$T/ocelis.log")"
step "tray icon $(cat "$T/icon")"
stop_ocelis "$OCELIS" "$T/ocelis.log"
step "SIGTERM: exit status 0"

# 7. On a D-Bus tray the program exports its menu, languages included.
setsid dbus-run-session -- /usr/bin/python3 "$SRC/tests/e2e/TrayHost.py" \
    --address-file "$T/bus" --layout-file "$T/layout" >"$T/dbus.log" 2>&1 &
PIDS+=($!)
wait_for 10 test -s "$T/bus" || fail "the D-Bus tray host did not start: $(cat "$T/dbus.log")"
setsid "${run_env[@]}" "DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$T/bus")" "$ROOT/usr/bin/ocelis" \
    >"$T/ocelis2.log" 2>&1 &
OCELIS=$!
PIDS+=("$OCELIS")
wait_for 20 test -s "$T/layout" ||
    fail "no menu on the D-Bus tray: $(cat "$T/dbus.log" "$T/ocelis2.log")"
for language in Deutsch English Unpacked; do
    grep -q "	$language\$" "$T/layout" ||
        fail "the tray menu lacks the language \"$language\": $(cat "$T/layout")"
done
step "languages in the tray menu: Deutsch English Unpacked"
stop_ocelis "$OCELIS" "$T/ocelis2.log"
step "SIGTERM: exit status 0"

stop_all
echo "package: $DEB in $((SECONDS - START)) s"
echo "PASS"
