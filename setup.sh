#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Ocelis need.
# Does nothing when all of them are present.
#
#   ./setup.sh            what building, testing and running need
#   ./setup.sh --package  also what package.sh needs to build and check the Debian package
#   ./setup.sh --bench    also what the benchmarks and bench/viewer_workload.sh run
set -euo pipefail

PACKAGES=(
    g++ cmake ninja-build pkg-config git
    qt6-base-dev qt6-qpa-plugins libjpeg62-turbo-dev
    libgtest-dev libgmock-dev googletest
    libbenchmark-dev libpugixml-dev libcurl4-openssl-dev libssl-dev ca-certificates
    clang libclang-rt-14-dev clang-format clang-tidy
    xvfb xauth x11-utils trayer xdotool imagemagick
    dbus dbus-bin python3-dbus python3-gi
    shared-mime-info desktop-file-utils fonts-dejavu-core
    ffmpeg mediainfo
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
    python3-httpbin lighttpd nginx-light
    qt6-translations-l10n appstream weston xwayland qt6-wayland
)
case "${1:-}" in
    "") ;;
    --package) PACKAGES+=(dpkg-dev file lintian) ;;
    --bench) PACKAGES+=(feh python3 gcc) ;;
    *) echo "usage: ./setup.sh [--package|--bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "setup: installing ${missing[*]}"

# The test servers in the list are started by the tests on loopback ports of their own:
# installing them must not start their system services. A policy that refuses every start
# stands in during the install; one that was there before is put back.
POLICY=/usr/sbin/policy-rc.d
SAVED_POLICY=""
if [ -e "$POLICY" ]; then
    SAVED_POLICY=$(mktemp)
    $SUDO cp -p "$POLICY" "$SAVED_POLICY"
fi
restore_policy() {
    if [ -n "$SAVED_POLICY" ]; then
        $SUDO cp -p "$SAVED_POLICY" "$POLICY"
        $SUDO rm -f "$SAVED_POLICY"
    else
        $SUDO rm -f "$POLICY"
    fi
}
trap restore_policy EXIT
printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$POLICY" >/dev/null
$SUDO chmod 755 "$POLICY"

$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
