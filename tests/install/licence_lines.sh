#!/bin/sh
# SPDX-License-Identifier: MIT
# Every source file, script and build file names its licence in an SPDX line
# near its top, so a file copied out of the project still says what it is under.
#   licence_lines.sh SOURCE_DIR
set -eu
cd "$1"
missing=0
for f in $(find codec archive cli gui tests examples bench fuzz cmake data man .ci \
               -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cmake' \
                          -o -name '*.sh' -o -name '*.in' -o -name 'CMakeLists.txt' -o -name '*.1' \
                          -o -name '*.desktop' -o -name '*.nemo_action' -o -name '*.xml' -o -name '*.svg' -o -name '*.bash' \) \
               -not -path 'tests/data/*' 2>/dev/null) \
         CMakeLists.txt Makefile bench/compare bench/compare_create .ci/run; do
    if ! head -n 3 "$f" | grep -q 'SPDX-License-Identifier: MIT'; then
        echo "no SPDX line in the first three lines: $f"
        missing=1
    fi
done
exit $missing
