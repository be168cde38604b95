#!/bin/sh
# The files a desktop reads about Ocelis pass the desktop's validators:
# appstreamcli on the metainfo (no error or warning), desktop-file-validate on the
# desktop entry (not even a hint). Exits 77 (skipped) when a validator is not installed.
#
#   ValidateDesktopFiles.sh <metainfo.xml> <entry.desktop>
set -u
metainfo=$1
desktop=$2
for tool in appstreamcli desktop-file-validate; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (./setup.sh installs it)"
        exit 77
    fi
done
status=0
out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) || status=1
echo "$out"
# E: errors and W: warnings fail; I: infos and P: pedantic notes are shown.
if echo "$out" | grep -q '^[EW]:'; then
    status=1
fi
out=$(desktop-file-validate "$desktop" 2>&1) || status=1
if [ -n "$out" ]; then
    echo "$out"
    status=1
fi
[ "$status" -eq 0 ] && echo "clean: $metainfo $desktop"
exit "$status"
