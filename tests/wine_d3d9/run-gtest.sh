#!/usr/bin/env bash
# Runs a cross-built GoogleTest program under Wine in a display of its own.
# Usage: run-gtest.sh <program.exe> [gtest arguments]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_session.sh"
wine_session_start
set +e
wine "$@"
status=$?
set -e
exit $status
