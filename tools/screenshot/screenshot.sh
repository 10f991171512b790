#!/usr/bin/env bash
# Takes docs/popup.png, the picture in the README: the real notifier against the sample feed on a private
# X server, once the sample items and their pictures show. Run it again after changing the popup's look.
#   tools/screenshot/screenshot.sh [build folder]     (default: build/, configured for the sample feed)
# Needs xvfb, dbus, xdotool, sqlite3 and ImageMagick (scripts/install-deps installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

if [ "${1:-}" = "--inside" ]; then  # runs on the private X server, in the work folder $2
  work=$2
  "$work/deals-notifier-sample-feed" 8088 >"$work/feed.log" 2>&1 &
  feed=$!
  NO_AT_BRIDGE=1 LANG=C.UTF-8 LC_ALL=C.UTF-8 "$work/deals-notifier" >"$work/notifier.log" 2>&1 &
  notifier=$!
  trap 'kill "$notifier" "$feed" 2>/dev/null || true; wait "$notifier" "$feed" 2>/dev/null || true' EXIT
  # The sample feed starts with five items; the first poll comes 5 s after start.
  for _ in $(seq 60); do
    [ "$(sqlite3 "file:$work/rcd?mode=ro" 'select count(*) from items' 2>/dev/null || echo 0)" -ge 5 ] && break
    sleep 0.5
  done
  sleep 3  # the next refresh and the item pictures
  window=$(xdotool search --sync --onlyvisible --pid "$notifier" | head -n 1)
  import -window "$window" -strip -define png:exclude-chunks=date,time "PNG24:$work/popup.png"
  exit 0
fi

build=${1:-$root/build}
cmake -S "$root" -B "$build" -DNOTIFIER_SAMPLE_FEED=ON >/dev/null
grep -q '^NOTIFIER_FEED_URL:STRING=http://127.0.0.1:8088/$' "$build/CMakeCache.txt" ||
  { echo "screenshot: $build is not built for the sample feed" >&2; exit 1; }
cmake --build "$build" -j"$(nproc)" --target notifier sample-feed-server >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Copies of their own, so that the store is a fresh one in the work folder.
cp "$build/app/deals-notifier" "$build/tools/sample-feed-server/deals-notifier-sample-feed" "$work/"
unset NO_AT_BRIDGE
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" dbus-run-session -- "$0" --inside "$work"
mkdir -p "$root/docs"
cp "$work/popup.png" "$root/docs/popup.png"
echo "screenshot: wrote $root/docs/popup.png"
