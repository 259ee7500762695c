#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the desktop program's tests RUNS times while stress-ng keeps CPU_LOAD
# workers busy, to show that none of them depends on timing. Not part of CI.
# Usage: tests/gui/stress.sh BUILD_DIR [RUNS] [CPU_LOAD]
set -euo pipefail
build=${1:?build folder}
runs=${2:-20}
load=${3:-4}
stress-ng --cpu "$load" --timeout 0 --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null; wait "$stress" 2>/dev/null || true' EXIT
cd "$build"
# Every GUI test RUNS times; the first failure stops the run and is shown.
QT_QPA_PLATFORM=offscreen ctest -R '^(tst_gui|gui_)' --repeat "until-fail:$runs" --output-on-failure -j 2
echo "the GUI suite passed $runs times under stress-ng --cpu $load"
