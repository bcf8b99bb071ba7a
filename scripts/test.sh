#!/usr/bin/env bash
# Installs what is missing, builds the launcher and its tests, and runs every test under Wine.
# Extra arguments go to ctest (for example: -R Log).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
cd "$SORVANE_ROOT"

"$SORVANE_ROOT/scripts/setup.sh"
with_display "$@"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

start_wine_session
trap stop_wine_session EXIT
ctest --preset mingw -j2 "$@"
