#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The MIME package: valid XML that update-mime-database accepts without a
# word, and with that database alone an archive is known by its content,
# even without the .vza extension, while other data is not.
#   mime_type.sh VZA SOURCE_DIR WORK_DIR
set -euo pipefail
vza=$1 source=$2 work=$3
rm -rf "$work" && mkdir -p "$work/share/mime/packages" "$work/home" "$work/input"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Only the temporary database: no user or system data folders.
export XDG_DATA_HOME="$work/home" XDG_DATA_DIRS="$work/share" GIO_USE_VFS=local

xmllint --noout "$source/data/vza.xml"
cp "$source/data/vza.xml" "$work/share/mime/packages/"
messages=$(update-mime-database "$work/share/mime" 2>&1)
[ -z "$messages" ] || fail "update-mime-database: $messages"
[ -s "$work/share/mime/mime.cache" ] || fail "no mime.cache built"
grep -q '^application/x-vza$' "$work/share/mime/types" || fail "type not in the database"

# Archives named without the extension: plain, compressed, and encrypted
# (whose first bytes stay readable).
printf 'some text to pack\n' >"$work/input/a.txt"
(cd "$work/input" && "$vza" create "$work/plain" a.txt &&
    "$vza" create -z "$work/compressed" a.txt &&
    VZA_PASSWORD=secret "$vza" create -z -e "$work/encrypted" a.txt) >/dev/null
printf 'not an archive at all\n' >"$work/text"
printf '\x00\x1d\x4f' >"$work/short"

type_of() {
    gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
}
for name in plain compressed encrypted; do
    got=$(type_of "$work/$name")
    [ "$got" = application/x-vza ] || fail "$name: got '$got', want application/x-vza"
done
for name in text short; do
    got=$(type_of "$work/$name")
    [ "$got" != application/x-vza ] || fail "$name taken for an archive"
done
echo "MIME type OK"
