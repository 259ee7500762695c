#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs both components into a temporary DESTDIR and checks the tree: every
# file in its place, no private header, each public header compiling on its
# own, the programs running from there; then uninstalls from the manifests
# and checks that nothing is left.
#   install_tree.sh BUILD_DIR SOURCE_DIR WORK_DIR LIBDIR HAVE_GUI
set -euo pipefail
build=$1 source=$2 work=$3 libdir=$4 have_gui=$5
rm -rf "$work" && mkdir -p "$work"
root=$work/root

for component in programs development; do
    DESTDIR=$root cmake --install "$build" --prefix /usr --component "$component" >"$work/install.log"
    cat "$build/install_manifest_$component.txt" >>"$work/manifest.txt"
    echo >>"$work/manifest.txt"
done

fail() { echo "FAIL: $*" >&2; exit 1; }

expected=(
    usr/bin/vza
    usr/share/man/man1/vza.1.gz
    usr/share/bash-completion/completions/vza
    usr/share/mime/packages/vza.xml
    usr/share/icons/hicolor/scalable/mimetypes/application-x-vza.svg
    usr/share/doc/vza-extract/copyright
    usr/share/doc/vza-extract/changelog.gz
    usr/share/doc/libvza-dev/copyright
    usr/share/doc/libvza-dev/changelog.gz
    usr/include/vza/archive/read/archive.h
    usr/include/vza/archive/write/archive_writer.h
    usr/include/vza/archive/write/archive_output.h
    usr/include/vza/archive/write/input_tree.h
    usr/include/vza/archive/names/safe_name.h
    usr/include/vza/archive/read/sequential_archive.h
    usr/include/vza/archive/fs/output_file.h
    usr/include/vza/archive/extract/extractor.h
    usr/include/vza/codec/blowfish.h
    "usr/$libdir/libvza_archive.a"
    "usr/$libdir/cmake/vza/vzaConfig.cmake"
    "usr/$libdir/cmake/vza/vzaConfigVersion.cmake"
    "usr/$libdir/cmake/vza/vzaTargets.cmake"
    "usr/$libdir/pkgconfig/vza.pc"
)
if [ "$have_gui" = 1 ]; then
    expected+=(
        usr/bin/vza-extract
        usr/share/man/man1/vza-extract.1.gz
        usr/share/applications/vza-extract.desktop
        usr/share/icons/hicolor/scalable/apps/vza-extract.svg
    )
fi
for path in "${expected[@]}"; do
    [ -f "$root/$path" ] || fail "missing $path"
done
[ -x "$root/usr/bin/vza" ] || fail "vza is not executable"
# The installed manual page is the one in the source tree, and the copyright
# file carries the licence's text.
[ "$(gzip -dc "$root/usr/share/man/man1/vza.1.gz")" = "$(cat "$source/man/vza.1")" ] || fail "vza.1.gz differs"
grep -q '^License: Expat$' "$root/usr/share/doc/vza-extract/copyright" || fail "copyright names no licence"
grep -qF ' THE SOFTWARE IS PROVIDED "AS IS"' "$root/usr/share/doc/vza-extract/copyright" || fail "copyright lacks the licence text"

# A staged tree is not live: no system cache may be built into it.
for cache in usr/share/mime/mime.cache usr/share/applications/mimeinfo.cache \
             usr/share/icons/hicolor/icon-theme.cache; do
    [ ! -e "$root/$cache" ] || fail "$cache was generated inside DESTDIR"
done

# Only the public API: the entry decoder and the codec internals stay private.
for private in archive/read/entry_decoder.h codec/inflate_stream.h codec/blowfish_fast.h \
               codec/blowfish_tables.h; do
    [ ! -e "$root/usr/include/vza/$private" ] || fail "private header $private installed"
done

# Every installed header compiles alone, against the installed tree only.
while IFS= read -r header; do
    relative=${header#"$root/usr/include/"}
    echo "#include <$relative>" |
        g++ -std=c++20 -fsyntax-only -Wall -Wextra -I "$root/usr/include" -x c++ - ||
        fail "$relative does not compile on its own as installed"
done < <(find "$root/usr/include/vza" -name '*.h' | sort)

version=$(grep -m1 -o 'project(vza VERSION [0-9.]*' "$source/CMakeLists.txt" | awk '{print $3}')
[ "$("$root/usr/bin/vza" --version)" = "vza $version" ] || fail "installed vza --version"

# make uninstall: every file goes, and the folders only this project made.
DESTDIR=$root cmake -DMANIFEST="$work/manifest.txt" -P "$source/cmake/Uninstall.cmake" >"$work/uninstall.log"
left=$(find "$root" -type f -o -type l)
[ -z "$left" ] || fail "left after uninstall: $left"
for folder in usr/include/vza "usr/$libdir/cmake/vza" usr/share/doc/vza-extract usr/share/doc/libvza-dev; do
    [ ! -e "$root/$folder" ] || fail "$folder left after uninstall"
done
# Installed live (no DESTDIR, here under a temporary prefix), the system
# caches are refreshed: the type is known, vza-extract opens it, the icon
# theme has a cache. Uninstalling refreshes them again.
live=$work/live
env -u DESTDIR XDG_DATA_DIRS="$live/share" cmake --install "$build" --prefix "$live" --component programs >"$work/live.log"
grep -q '^application/x-vza$' "$live/share/mime/types" || fail "live install: MIME database not refreshed"
[ -f "$live/share/icons/hicolor/icon-theme.cache" ] || fail "live install: no icon cache"
if [ "$have_gui" = 1 ]; then
    grep -qx 'application/x-vza=vza-extract.desktop;' "$live/share/applications/mimeinfo.cache" ||
        fail "live install: .vza files do not open in vza-extract"
fi
env -u DESTDIR XDG_DATA_DIRS="$live/share" cmake -DMANIFEST="$build/install_manifest_programs.txt" \
    -P "$source/cmake/Uninstall.cmake" >"$work/live-uninstall.log"
! grep -q 'x-vza' "$live/share/mime/types" || fail "live uninstall: type still known"
[ ! -f "$live/bin/vza" ] || fail "live uninstall: vza left"

echo "install tree OK (${#expected[@]} files)"
