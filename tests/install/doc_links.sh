#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every relative link and image in README.md and docs/*.md leads to a file
# of the tree (anchors and web addresses are left alone).
#   doc_links.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 1
status=0
for page in README.md docs/*.md; do
    folder=$(dirname "$page")
    while read -r target; do
        target=${target%%#*}
        [ -z "$target" ] && continue
        [ -e "$folder/$target" ] || { echo "FAIL: $page links to missing $target" >&2; status=1; }
    done < <(grep -oE '\]\([^) ]+\)' "$page" | sed 's/^](//; s/)$//' | grep -vE '^[a-z]+:')
done
[ $status = 0 ] && echo "documentation links OK"
exit $status
