# Sourced first by the shell tests, with their arguments: WINE_RUN PREFIX BUILD_DIR [MORE...]. Sets
# wine_run, prefix and build, points Wine at the prefix, and brings in the Xvfb and wineserver helpers.
set -euo pipefail
wine_run=$1
prefix=$2
build=$3
export WINEPREFIX=$prefix WINEDEBUG=-all
. "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
