#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The .deb packages as `make package` builds them, from a build folder of
# their own configured the same way (cmake/PackageCache.cmake): their files
# (libraries and pkg-config file in the multiarch folder), control fields,
# no maintainer scripts, the hardening of the programs, lintian --pedantic
# without an error or a warning, and the packaged vza at work.
#   debian_package.sh BUILD_DIR SOURCE_DIR WORK_DIR VERSION HAVE_GUI
# The package build folder is kept between runs (WORK_DIR/build), so a run
# rebuilds only what changed; it takes the main build's compiler launcher.
set -euo pipefail
build=$1 source=$2 work=$3 version=$4 have_gui=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
out=$work/out pkgbuild=$work/build
rm -rf "$out" && mkdir -p "$out"

cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
gui=$([ "$have_gui" = 1 ] && echo ON || echo OFF)
cmake -C "$source/cmake/PackageCache.cmake" -S "$source" -B "$pkgbuild" -G Ninja -DVZA_BUILD_GUI="$gui" \
    -DVZA_WITH_ISAL="$(cached VZA_WITH_ISAL)" -DVZA_WITH_LIBDEFLATE="$(cached VZA_WITH_LIBDEFLATE)" \
    -DCMAKE_CXX_COMPILER_LAUNCHER="$(cached CMAKE_CXX_COMPILER_LAUNCHER)" \
    >"$out/configure.log" 2>&1 || { cat "$out/configure.log"; exit 1; }
cmake --build "$pkgbuild" -j 2 >"$out/build.log" 2>&1 || { tail -50 "$out/build.log"; exit 1; }
(cd "$pkgbuild" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }

# The hardening flags come before -O3, and no warning is made an error.
command=$(grep -m1 -o '"command": "[^"]*extract/extractor.cpp[^"]*"' "$pkgbuild/compile_commands.json")
[[ $command == *-D_FORTIFY_SOURCE=2*-O3* ]] || fail "not fortified before -O3: $command"
[[ $command == *-fPIC* ]] || fail "the library is not position-independent: $command"
[[ $command != *-Werror* ]] || fail "-Werror in the package build: $command"

arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
cli=$out/vza_${version}_$arch.deb
desktop=$out/vza-extract_${version}_$arch.deb
development=$out/libvza-dev_${version}_$arch.deb
debs=("$cli" "$development")
[ "$have_gui" = 1 ] && debs+=("$desktop")
for deb in "${debs[@]}"; do
    [ -f "$deb" ] || fail "$(basename "$deb") missing: $(ls "$out")"
done

files_of() { dpkg-deb -c "$1" | awk '{print $6}' | grep -v '/$' | sed 's|^\./||' | sort; }
field() { dpkg-deb -f "$1" "$2"; }
same_list() { # WHAT GOT WANT...
    local what=$1 got=$2; shift 2
    [ "$got" = "$(printf '%s\n' "$@" | sort)" ] || fail "$what: got
$got"
}

same_list vza "$(files_of "$cli")" usr/bin/vza usr/share/bash-completion/completions/vza \
    usr/share/doc/vza/copyright usr/share/doc/vza/changelog.gz usr/share/man/man1/vza.1.gz \
    usr/share/mime/packages/vza.xml usr/share/icons/hicolor/scalable/mimetypes/application-x-vza.svg
if [ "$have_gui" = 1 ]; then
    same_list vza-extract "$(files_of "$desktop")" usr/bin/vza-extract usr/share/applications/vza-extract.desktop \
        usr/share/icons/hicolor/scalable/apps/vza-extract.svg usr/share/man/man1/vza-extract.1.gz \
        usr/share/metainfo/vza-extract.metainfo.xml usr/share/doc/vza-extract/copyright \
        usr/share/doc/vza-extract/changelog.gz usr/share/kio/servicemenus/vza-extract.desktop \
        usr/share/nemo/actions/vza-extract-here.nemo_action
fi
got=$(files_of "$development")
for path in usr/include/vza/vza.h usr/include/vza/version.h usr/include/vza/archive/read/archive.h \
            "usr/lib/$multiarch/libvza_archive.a" "usr/lib/$multiarch/libvza_codec.a" \
            "usr/lib/$multiarch/cmake/vza/vzaConfig.cmake" "usr/lib/$multiarch/pkgconfig/vza.pc" \
            usr/share/doc/libvza-dev/copyright usr/share/doc/libvza-dev/changelog.gz; do
    grep -qx "$path" <<<"$got" || fail "libvza-dev lacks $path"
done
! grep -v "^usr/\(include/vza\|lib/$multiarch\|share/doc/libvza-dev\)/" <<<"$got" ||
    fail "libvza-dev has files elsewhere"

for deb in "${debs[@]}"; do
    [ "$(field "$deb" Version)" = "$version" ] || fail "$deb: version"
    [ "$(field "$deb" Source)" = vza ] || fail "$deb: source"
    [[ $(field "$deb" Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^@\>]+\>$ ]] || fail "$deb: maintainer"
    # No maintainer scripts: dpkg's triggers refresh the caches.
    scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -vx 'control\|md5sums\|' || true)
    [ -z "$scripts" ] || fail "$deb has maintainer files: $scripts"
done

names_of() { field "$1" Depends | sed 's/ *([^)]*)//g; s/, */\n/g'; }
cli_depends=$(names_of "$cli")
for package in zlib1g libstdc++6 libc6; do
    grep -qxF "$package" <<<"$cli_depends" || fail "vza Depends lacks $package: $cli_depends"
done
! grep -q qt <<<"$cli_depends" || fail "vza depends on Qt: $cli_depends"
if [ "$have_gui" = 1 ]; then
    depends=$(field "$desktop" Depends)
    [[ ", $depends," == *", vza (= $version),"* ]] || fail "vza-extract must depend on vza (= $version): $depends"
    for package in qt6-qpa-plugins qt6-translations-l10n libqt6widgets6; do
        grep -qxF "$package" <<<"$(names_of "$desktop")" || fail "vza-extract Depends lacks $package: $depends"
    done
fi
grep -q zlib1g-dev <<<"$(field "$development" Depends)" || fail "libvza-dev must depend on zlib1g-dev"
# Built with ISA-L's inflater, the programs need its runtime and the library its development files.
if [ "$(cached VZA_WITH_ISAL)" = ON ]; then
    grep -qxF libisal2 <<<"$cli_depends" || fail "vza Depends lacks libisal2: $cli_depends"
    grep -q libisal-dev <<<"$(field "$development" Depends)" || fail "libvza-dev must depend on libisal-dev"
fi
# The same for libdeflate's deflater.
if [ "$(cached VZA_WITH_LIBDEFLATE)" = ON ]; then
    grep -qxF libdeflate0 <<<"$cli_depends" || fail "vza Depends lacks libdeflate0: $cli_depends"
    grep -q libdeflate-dev <<<"$(field "$development" Depends)" || fail "libvza-dev must depend on libdeflate-dev"
fi

# Unpacked, the programs are hardened (full RELRO, fortified, PIE) and work.
root=$out/root
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
programs=("$root/usr/bin/vza")
[ "$have_gui" = 1 ] && programs+=("$root/usr/bin/vza-extract")
for program in "${programs[@]}"; do
    headers=$(readelf -lWd "$program")
    grep -q GNU_RELRO <<<"$headers" || fail "$program: no RELRO"
    grep -q 'FLAGS.*BIND_NOW\|FLAGS_1.*NOW' <<<"$headers" || fail "$program: no BIND_NOW"
    grep -q 'FLAGS_1.*PIE' <<<"$headers" || fail "$program: not position-independent"
    symbols=$(readelf -W --dyn-syms "$program")
    grep -q '__[a-z_]*_chk@' <<<"$symbols" || fail "$program: not fortified"
done
mkdir -p "$out/input/sub" "$out/extracted"
seq 1 50000 >"$out/input/sub/numbers.txt"
printf 'first\n' >"$out/input/a.txt"
(cd "$out/input" && VZA_PASSWORD=pw "$root/usr/bin/vza" create -q -z -e "$out/check.vza" a.txt sub) ||
    fail "packaged vza create"
VZA_PASSWORD=pw "$root/usr/bin/vza" extract -q "$out/check.vza" -C "$out/extracted" || fail "packaged vza extract"
diff -r "$out/input" "$out/extracted" || fail "packaged vza: extracted files differ"

# lintian --pedantic: no error and no warning; info and pedantic tags are shown.
tags=$(lintian --pedantic --display-info --tag-display-limit 0 "${debs[@]}" 2>&1 | grep -v '^running with root' || true)
echo "$tags"
! grep -q '^[EW]:' <<<"$tags" || fail "lintian errors or warnings"
echo "Debian packages OK"
