#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `make install` and `make uninstall` live (no DESTDIR), into temporary
# prefixes. Installed, the MIME, desktop and icon caches know the type;
# uninstalled, the prefix is as it was before: every file and folder the
# install made is gone, and nothing else is.
#   - an empty prefix: nothing is left, not even the caches, but a file the
#     user put into one of our folders meanwhile (and its folders);
#   - a prefix with other programs' types, entries and icons, and empty
#     folders of its own, installed into twice: those all stay, the caches
#     are rebuilt without our entries.
#   uninstall.sh BUILD_DIR SOURCE_DIR WORK_DIR HAVE_GUI
set -euo pipefail
build=$1 source=$2 work=$3 have_gui=$4
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
unset DESTDIR

install_into() {
    cmake --install "$build" --prefix "$1" >>"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
}
uninstall() {
    cmake -DMANIFEST="$build/install_manifest.txt" -P "$source/cmake/Uninstall.cmake" >>"$work/uninstall.log" 2>&1 ||
        { cat "$work/uninstall.log"; exit 1; }
}
tree_of() { (cd "$1" && find . -mindepth 1 -printf '%y %p\n' | sort); }

# --- an empty prefix -------------------------------------------------------
fresh=$work/fresh
install_into "$fresh"
grep -q '^application/x-vza$' "$fresh/share/mime/types" || fail "install: MIME database not refreshed"
[ -f "$fresh/share/icons/hicolor/icon-theme.cache" ] || fail "install: no icon cache"
if [ "$have_gui" = 1 ]; then
    grep -qx 'application/x-vza=vza-extract.desktop;' "$fresh/share/applications/mimeinfo.cache" ||
        fail "install: .vza files do not open in vza-extract"
fi
mkdir -p "$fresh/include/vza/mine"
echo '// not ours' >"$fresh/include/vza/mine/notes.h"
uninstall
[ "$(tree_of "$fresh")" = "$(printf '%s\n' 'd ./include' 'd ./include/vza' 'd ./include/vza/mine' \
    'f ./include/vza/mine/notes.h')" ] || fail "left in an empty prefix: $(tree_of "$fresh")"
[ ! -e "$build/install_folders.txt" ] || fail "the folder list outlives the uninstall"

# --- a prefix in use ---------------------------------------------------------
used=$work/used
mkdir -p "$used/share/mime/packages" "$used/share/applications" "$used/share/icons/hicolor/scalable/apps" \
    "$used/share/man/man1" "$used/lib" "$used/bin"
cat >"$used/share/mime/packages/other.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-other"><comment>Other</comment><glob pattern="*.other"/></mime-type>
</mime-info>
EOF
printf '[Desktop Entry]\nType=Application\nName=Other\nExec=other %%f\nMimeType=application/x-other;\n' \
    >"$used/share/applications/other.desktop"
cp "$source/data/vza-extract.svg" "$used/share/icons/hicolor/scalable/apps/other.svg"
update-mime-database "$used/share/mime" 2>/dev/null
update-desktop-database "$used/share/applications"
gtk-update-icon-cache -q -t -f "$used/share/icons/hicolor"
before=$(tree_of "$used")

install_into "$used"
install_into "$used"
grep -q '^application/x-vza$' "$used/share/mime/types" || fail "install: MIME database not refreshed"
uninstall
after=$(tree_of "$used")
[ "$after" = "$before" ] || fail "the prefix in use changed: $(diff <(echo "$before") <(echo "$after"))"
grep -q '^application/x-other$' "$used/share/mime/types" || fail "the other type was lost"
! grep -q 'x-vza' "$used/share/mime/types" || fail "the type is still known"
grep -q 'application/x-other=other.desktop;' "$used/share/applications/mimeinfo.cache" ||
    fail "the other entry was lost"
! grep -q vza "$used/share/applications/mimeinfo.cache" || fail "vza-extract is still in the desktop cache"
echo "uninstall OK"
