#!/usr/bin/env bash
# The players' README tells them how to see the launcher's report and exit status from a Command
# Prompt. This runs the lines it gives, exactly as written there (the first block of indented lines
# after it first names the Command Prompt), in an interactive session of Wine's cmd.exe, in a game
# folder that has no hl2.exe: the report file must hold the launch failure, and cmd must show 101.
# Usage: command_prompt_report_test.sh WINE_RUN PREFIX BUILD_DIR
. "$(dirname "$0")/shell_test.sh" "$@"
readme=$(dirname "$0")/../../resources/README.txt

game=$(mktemp -d "${TMPDIR:-/tmp}/ostrand-command-prompt.XXXXXX")
trap 'rm -rf "$game"' EXIT

# The block, without its indentation, with the line ends that cmd reads from a keyboard.
awk '!found && /Command Prompt/ { found = 1; next }
     found && /^      [^ ]/ { sub(/^      /, ""); printf "%s\r\n", $0; taken = 1; next }
     taken { exit }' "$readme" >"$game/typed.txt"
cp "$build/ostrand.exe" "$game/ostrand.exe"

# cmd reading its commands from a file behaves as at a prompt: it does not wait for a program without
# a console unless told to, and shows each prompt, "Z:\...>", before what the command printed.
(cd "$game" && "$wine_run" "$prefix" cmd <typed.txt >shown.txt 2>&1) || true
shown=$(tr -d '\r' <"$game/shown.txt" | sed 's/^[A-Za-z]:\\[^>]*>//')
report=$(cat "$game/ostrand-report.txt" 2>/dev/null || echo "(no file)")

passed=0 failed=0
check() { if eval "$1"; then passed=$((passed + 1)); else echo "FAILED: $2"; failed=$((failed + 1)); fi; }
check '[ -s "$game/typed.txt" ]' "no indented command block after \"Command Prompt\" in $readme"
check 'grep -q "^Failed to launch Half-Life 2: " <<<"$report"' "ostrand-report.txt holds: $report"
check 'grep -qx 101 <<<"$shown"' "cmd did not show 101; it showed: $(paste -sd"|" <<<"$shown")"
echo "typed: $(tr -d '\r' <"$game/typed.txt" | paste -sd'|')"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
