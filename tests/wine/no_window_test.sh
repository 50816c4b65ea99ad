#!/usr/bin/env bash
# Started from a shell with an X display (Xvfb), the launcher shows nothing: no top-level window
# becomes viewable while it runs and waits for a game (a windowless stand-in that waits 2 s).
# Usage: no_window_test.sh WINE_RUN PREFIX BUILD_DIR
. "$(dirname "$0")/shell_test.sh" "$@"

game=$(mktemp -d "${TMPDIR:-/tmp}/ostrand-no-window.XXXXXX")
trap 'stop_xvfb; rm -rf "$game"' EXIT
stop_wineserver
start_xvfb 141 190
export DISPLAY=":$DISPLAY_NUMBER"

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

STAND_IN_SLEEP_MS=2000 "$wine_run" "$prefix" "$game/ostrand.exe" >/dev/null 2>"$game/stderr" &
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
launched=$(seen "$status" "$game/stderr" "$game/received.txt")
check '[ "$status" -eq 0 ]' "the launcher failed: $launched"
check '[ -s "$game/received.txt" ]' "the game was not started: $launched"
check '[ -z "$seen" ]' "windows became viewable during the run: $seen"
check '[ -n "$control" ]' "control: notepad's window was not seen, so the watch cannot see windows"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
