#!/usr/bin/env bash
# Runs the test bundle's runner through Wine's cmd, as a maintainer runs it on Windows:
#   run_bundle.sh FOLDER PREFIX RUNNER
# in FOLDER, which holds the unpacked bundle, with Wine's prefix PREFIX. Prints what the runner printed
# (and, when it failed, what Wine itself wrote on the Unix side) and exits with its status.
set -euo pipefail
folder=$(cd "$1" && pwd)
prefix=$(mkdir -p "$2" && cd "$2" && pwd)
runner=$3
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=$prefix WINEDEBUG=-all
# Wine reads Unix file names in the locale's character set: under the C locale a folder whose name is
# not ASCII cannot even be the working directory.
export LC_ALL=C.UTF-8
output=$(mktemp -d "${TMPDIR:-/tmp}/ostrand-bundle-run.XXXXXX")
trap 'rm -rf "$output"' EXIT
status=0
(cd "$folder" && "$here/../../cmake/wine-run" "$prefix" cmd /c "$runner") >"$output/stdout" 2>"$output/stderr" ||
  status=$?
tr -d '\r' <"$output/stdout"
[ "$status" -eq 0 ] || cat "$output/stderr"
exit "$status"
