#!/usr/bin/env bash
# Started from a shell with an X display (Xvfb), the launcher shows nothing: no top-level window
# becomes viewable while it runs and waits for a game (a windowless stand-in that waits 2 s).
# Usage: no_window_test.sh WINE_RUN PREFIX BUILD_DIR
set -euo pipefail
wine_run=$1
prefix=$2
build=$3
export WINEPREFIX=$prefix WINEDEBUG=-all
wineserver=/usr/lib/wine/wineserver
stop_wineserver() { "$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true; }

display=
for n in $(seq 141 190); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free display number"; exit 1; }
game=$(mktemp -d "${TMPDIR:-/tmp}/ostrand-no-window.XXXXXX")
xvfb_pid=
cleanup() {
  stop_wineserver
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$game"
}
trap cleanup EXIT

# Wine picks its display driver once per wineserver session.
stop_wineserver
Xvfb ":$display" -nolisten tcp -screen 0 640x480x24 >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display"

viewable() {
  xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}' | while read -r id; do
    if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then echo "$id"; fi
  done | sort
}

cp "$build/ostrand.exe" "$game/ostrand.exe"
cp "$build/stand_in_game_gui.exe" "$game/hl2.exe"
# Let Wine start its own services first, so that only what the launcher brings is compared.
"$wine_run" "$prefix" "$build/print_argv.exe" >/dev/null
before=$(viewable)

STAND_IN_SLEEP_MS=2000 "$wine_run" "$prefix" "$game/ostrand.exe" >/dev/null 2>&1 &
launcher=$!
seen=
while kill -0 "$launcher" 2>/dev/null; do
  seen+=$(comm -13 <(echo "$before") <(viewable))
  sleep 0.2
done
wait "$launcher" && status=0 || status=$?

# Control: a program that does open a window (Wine's notepad) is seen by the same watch.
"$wine_run" "$prefix" notepad >/dev/null 2>&1 &
notepad=$!
control=
for _ in $(seq 50); do
  control=$(comm -13 <(echo "$before") <(viewable))
  [ -n "$control" ] && break
  sleep 0.1
done
kill "$notepad" 2>/dev/null || true
wait "$notepad" 2>/dev/null || true

passed=0 failed=0
check() { if eval "$1"; then passed=$((passed + 1)); else echo "FAILED: $2"; failed=$((failed + 1)); fi; }
check '[ "$status" -eq 0 ]' "launcher exit status $status"
check '[ -s "$game/received.txt" ]' "the game was not started"
check '[ -z "$seen" ]' "windows became viewable during the run: $seen"
check '[ -n "$control" ]' "control: notepad's window was not seen, so the watch cannot see windows"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
