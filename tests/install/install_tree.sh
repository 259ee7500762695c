#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs each component into a temporary DESTDIR and checks the tree: every
# file in its place, no private header, each header compiling on its own,
# the programs running from there; then
# uninstalls from the manifests and checks that nothing is left but the
# prefix.
#   install_tree.sh BUILD_DIR SOURCE_DIR WORK_DIR LIBDIR HAVE_GUI
set -euo pipefail
build=$1 source=$2 work=$3 libdir=$4 have_gui=$5
rm -rf "$work" && mkdir -p "$work"
root=$work/root
fail() { echo "FAIL: $*" >&2; exit 1; }

components=(cli development)
[ "$have_gui" = 1 ] && components+=(desktop)
manifests=() folders=()
for component in "${components[@]}"; do
    DESTDIR=$root cmake --install "$build" --prefix /usr --component "$component" >"$work/install.log"
    manifest=$work/manifest_$component.txt folder_list=$work/folders_$component.txt
    mv "$build/install_manifest_$component.txt" "$manifest"
    mv "$build/install_folders_$component.txt" "$folder_list"
    manifests+=("$manifest") folders+=("$folder_list")
done

expected=(
    usr/bin/vza
    usr/share/man/man1/vza.1.gz
    usr/share/bash-completion/completions/vza
    usr/share/mime/packages/vza.xml
    usr/share/icons/hicolor/scalable/mimetypes/application-x-vza.svg
    usr/share/doc/vza/copyright
    usr/share/doc/vza/changelog.gz
    usr/share/doc/libvza-dev/copyright
    usr/share/doc/libvza-dev/changelog.gz
    usr/include/vza/vza.h
    usr/include/vza/version.h
    usr/include/vza/archive/read/archive.h
    usr/include/vza/archive/extract/extractor.h
    usr/include/vza/archive/write/archive_writer.h
    usr/include/vza/codec/blowfish.h
    "usr/$libdir/libvza_archive.a"
    "usr/$libdir/libvza_codec.a"
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
        usr/share/metainfo/vza-extract.metainfo.xml
        usr/share/doc/vza-extract/copyright
        usr/share/doc/vza-extract/changelog.gz
        usr/share/kio/servicemenus/vza-extract.desktop
        usr/share/nemo/actions/vza-extract-here.nemo_action
    )
fi
for path in "${expected[@]}"; do
    [ -f "$root/$path" ] || fail "missing $path"
done
[ -x "$root/usr/bin/vza" ] || fail "vza is not executable"
# The installed manual page is the one in the source tree, and the copyright
# file carries the licence's text.
[ "$(gzip -dc "$root/usr/share/man/man1/vza.1.gz")" = "$(cat "$source/man/vza.1")" ] || fail "vza.1.gz differs"
grep -q '^License: Expat$' "$root/usr/share/doc/vza/copyright" || fail "copyright names no licence"
grep -qF ' THE SOFTWARE IS PROVIDED "AS IS"' "$root/usr/share/doc/vza/copyright" || fail "copyright lacks the licence text"

if [ "$have_gui" = 1 ]; then
    # Dolphin's service menu is a desktop entry of KDE's type Service, which
    # desktop-file-validate knows but holds to an application's rules: it
    # wants a Name in the main group and MimeType and Actions only for
    # applications. Those are what a service menu is made of; anything else
    # it finds is a fault.
    menu=$root/usr/share/kio/servicemenus/vza-extract.desktop
    found=$(desktop-file-validate "$menu" 2>&1 | grep -vF \
        -e 'required key "Name" in group "Desktop Entry" is not present' \
        -e 'key "MimeType" is present in group "Desktop Entry", but the type is "Service"' \
        -e 'key "Actions" is present in group "Desktop Entry", but the type is "Service"') || true
    [ -z "$found" ] || fail "service menu: $found"
    nemo=$root/usr/share/nemo/actions/vza-extract-here.nemo_action
    for line in 'Type=Service' 'MimeType=application/x-vza;' 'Actions=extractHere;' '[Desktop Action extractHere]' \
                'Name[ja]=ここに展開' 'Exec=vza-extract --extract-here %F'; do
        grep -qxF "$line" "$menu" || fail "service menu lacks $line"
    done
    for line in '[Nemo Action]' 'Active=true' 'Name[ja]=ここに展開' 'Exec=vza-extract --extract-here %F' \
                'Selection=notnone' 'Mimetypes=application/x-vza;' 'Quote=double'; do
        grep -qxF "$line" "$nemo" || fail "Nemo action lacks $line"
    done
    # Nemo puts each path, double-quoted, in place of %F and splits the line
    # as a shell does: a name with a space and an apostrophe stays one argument.
    exec_line=$(sed -n 's/^Exec=//p' "$nemo")
    name="/home/u/it's my file.vza"
    expanded=${exec_line//%F/\"$name\" \"$name\"}
    eval "args=($expanded)"  # the line is ours, the name fixed: no expansion in it
    [ "$(printf '%s\n' "${args[@]}")" = "$(printf '%s\n' vza-extract --extract-here "$name" "$name")" ] ||
        fail "Nemo's command line splits the name: ${args[*]}"
fi

# A staged tree is not live: no system cache may be built into it.
for cache in usr/share/mime/mime.cache usr/share/applications/mimeinfo.cache \
             usr/share/icons/hicolor/icon-theme.cache; do
    [ ! -e "$root/$cache" ] || fail "$cache was generated inside DESTDIR"
done

# Only the public API: the entry decoder, the extraction engine's parts and
# the codec internals stay private.
for private in archive/read/entry_decoder.h archive/read/decipher_ahead.h archive/extract/extractor_parts.h \
               archive/names/utf8.h codec/inflate_stream.h codec/blowfish_fast.h codec/blowfish_tables.h \
               codec/zlib_codec.h; do
    [ ! -e "$root/usr/include/vza/$private" ] || fail "private header $private installed"
done

# Every installed header compiles alone, against the installed tree only.
include=$root/usr/include
while IFS= read -r header; do
    echo "#include <$header>" | g++ -std=c++20 -fsyntax-only -Wall -Wextra -I "$include" -x c++ - ||
        fail "$header does not compile on its own as installed"
done < <(cd "$include" && find vza -name '*.h' | sort)

version=$(grep -m1 -o 'project(vza VERSION [0-9.]*' "$source/CMakeLists.txt" | awk '{print $3}')
[ "$("$root/usr/bin/vza" --version)" = "vza $version" ] || fail "installed vza --version"
grep -q "#define VZA_VERSION_STRING \"$version\"" "$include/vza/version.h" || fail "version.h is not $version"

# Uninstalled from the manifests: every file and every folder goes, but the prefix.
DESTDIR=$root cmake -DMANIFEST="$(IFS=';'; echo "${manifests[*]}")" -DFOLDERS="$(IFS=';'; echo "${folders[*]}")" \
    -P "$source/cmake/Uninstall.cmake" >"$work/uninstall.log"
left=$(cd "$root" && find . -mindepth 1 | sort)
[ "$left" = ./usr ] || fail "left after uninstall: $left"
echo "install tree OK (${#expected[@]} files)"
