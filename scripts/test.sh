#!/usr/bin/env bash
# Installs what is missing, builds the launcher and its tests, and runs every test: the test
# programs once, as the test kit (tests/kit) under Wine, and the script tests beside them. Extra
# arguments go to ctest instead, which then also offers each case of the test programs apart
# (for example: -R unit_test, -R 'e2e_test.*Log').
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
cd "$SORVANE_ROOT"

"$SORVANE_ROOT/scripts/setup.sh"
with_display "$@"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

start_wine_session
trap stop_wine_session EXIT
# The programs' single cases (label "case") are what the kit's run runs already.
[ $# -gt 0 ] || set -- -LE '^case$'
ctest --preset mingw -j2 "$@"
