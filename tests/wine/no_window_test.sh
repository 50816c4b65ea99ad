#!/usr/bin/env bash
# Started from a shell with an X display (Xvfb), the launcher shows nothing: no top-level window
# becomes viewable while it runs and waits for a game (a windowless stand-in that waits 2 s).
# Meanwhile the Wine processes of the launcher and the game show where their program break lies: right
# after a loader linked at a fixed address, since wine-run starts Wine without address randomization.
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
# Where the program break of the launcher's and the game's Wine processes lies: "ok" when it starts right
# after a loader at a fixed address, or the loader is position-independent; else where it is.
declare -A program_break=()
folder=${game##*/}
fixed=0
if fixed_address_loader; then fixed=1; fi
breaks() {
  local cmdline pid name program placement
  for cmdline in /proc/[0-9]*/cmdline; do
    IFS= read -r -d '' program 2>/dev/null <"$cmdline" || continue
    case $program in
      *"$folder"[/\\]ostrand.exe) name=launcher ;;
      *"$folder"[/\\]hl2.exe) name=game ;;
      *) continue ;;
    esac
    pid=${cmdline#/proc/} pid=${pid%/cmdline}
    placement=$(awk -v pid="$pid" -v fixed="$fixed" '
      /\/wine64$/ { split($1, range, "-"); if (!base) base = range[1]; end = range[2] }
      /\[heap\]$/ && !heap { split($1, range, "-"); heap = range[1] }
      END {
        if (!base || !heap) exit
        if (!fixed || heap == end) print "ok"
        else print "process " pid ": break at " heap ", loader at " base "-" end
      }' "/proc/$pid/maps" 2>/dev/null) || continue
    if [ -n "$placement" ] && [ "${program_break[$name]:-ok}" = ok ]; then
      program_break[$name]=$placement
    fi
  done
}
seen=
while kill -0 "$launcher" 2>/dev/null; do
  seen+=$(comm -13 <(echo "$before") <(viewable))
  breaks
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
for name in launcher game; do
  check '[ "${program_break[$name]:-}" = ok ]' "the $name's Wine process: ${program_break[$name]:-not seen}"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
