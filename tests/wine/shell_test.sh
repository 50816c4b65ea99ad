# Sourced first by the shell tests, with their arguments: WINE_RUN PREFIX BUILD_DIR [MORE...]. Sets
# wine_run, prefix and build, points Wine at the prefix, and brings in the Xvfb and wineserver helpers.
set -euo pipefail
wine_run=$1
prefix=$2
build=$3
export WINEPREFIX=$prefix WINEDEBUG=-all
. "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

# seen STATUS STDERR_FILE RECORD_FILE: what a start of the launcher did, for a failed check: its exit
# status, its standard-error bytes (printable ASCII as it is, every other byte as \xNN) and whether the
# game wrote its record.
seen() {
  local record=none
  [ -s "$3" ] && record=written
  printf 'exit %#x, standard error "%s", game record: %s' "$1" \
    "$(perl -0777 -pe 's/([^\x20-\x7e])/sprintf("\\x%02X", ord $1)/ge' "$2" 2>/dev/null)" "$record"
}
