#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Each manual page renders through man(1) with every groff warning on, and
# without a single one; the text names what the page must tell.
# With VZA_EXTRACT set, vza-extract(1) also names every option that the
# program's own help lists, so the page cannot fall behind its program
# (vza(1) is held to vza's command table by command_surface.sh).
#   [VZA_EXTRACT=path/to/vza-extract] man_pages.sh PAGE...
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
export LC_ALL=C.UTF-8 MANWIDTH=80 MAN_KEEP_FORMATTING=0
for page in "$@"; do
    warnings=$(man --warnings=w -l "$page" 2>&1 >/dev/null) || fail "$page: man failed: $warnings"
    [ -z "$warnings" ] || fail "$page: $warnings"
    warnings=$(groff -k -man -ww -z -Tutf8 "$page" 2>&1) || fail "$page: groff failed"
    [ -z "$warnings" ] || fail "$page: $warnings"
    text=$(man -l "$page" 2>/dev/null | col -b)
    for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" ENVIRONMENT EXAMPLES "SEE ALSO"; do
        grep -q "^$section\$" <<<"$text" || fail "$page has no $section section"
    done
done
if [ -n "${VZA_EXTRACT:-}" ]; then
    for page in "$@"; do
        [ "$(basename "$page")" = vza-extract.1 ] || continue
        text=$(man -l "$page" 2>/dev/null | col -b)
        for option in $("$VZA_EXTRACT" --help | grep -oE '(^|[ ,[])--?[a-zA-Z][-a-zA-Z]*' | tr -d ' ,[' | sort -u); do
            grep -qE -- "(^|[ [(,])$option([^-a-zA-Z]|\$)" <<<"$text" || fail "vza-extract.1 lacks the option $option"
        done
    done
fi
echo "manual pages OK"
