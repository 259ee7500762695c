#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The .deb packages as `make package` builds them: their control fields,
# exactly the expected files under /usr, and no maintainer scripts.
#   debian_package.sh BUILD_DIR WORK_DIR VERSION HAVE_GUI
set -euo pipefail
build=$1 work=$2 version=$3 have_gui=$4
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
programs=$work/vza-extract_${version}_$arch.deb
development=$work/libvza-dev_${version}_$arch.deb
[ -f "$programs" ] && [ -f "$development" ] || fail "packages missing: $(ls "$work")"

files_of() { dpkg-deb -c "$1" | awk '{print $6}' | grep -v '/$' | sed 's|^\./||' | sort; }
field() { dpkg-deb -f "$1" "$2"; }

want=(usr/bin/vza usr/share/bash-completion/completions/vza usr/share/doc/vza-extract/copyright
      usr/share/doc/vza-extract/changelog.gz usr/share/icons/hicolor/scalable/mimetypes/application-x-vza.svg
      usr/share/man/man1/vza.1.gz usr/share/mime/packages/vza.xml)
if [ "$have_gui" = 1 ]; then
    want+=(usr/bin/vza-extract usr/share/applications/vza-extract.desktop
           usr/share/icons/hicolor/scalable/apps/vza-extract.svg usr/share/man/man1/vza-extract.1.gz)
fi
[ "$(files_of "$programs")" = "$(printf '%s\n' "${want[@]}" | sort)" ] ||
    fail "vza-extract files: $(files_of "$programs")"

got=$(files_of "$development")
for path in usr/include/vza/archive/read/archive.h usr/include/vza/codec/blowfish.h usr/share/doc/libvza-dev/copyright \
            usr/share/doc/libvza-dev/changelog.gz; do
    grep -qx "$path" <<<"$got" || fail "libvza-dev lacks $path"
done
for pattern in '^usr/lib/.*libvza_archive\.a$' '^usr/lib/.*cmake/vza/vzaConfig\.cmake$' \
               '^usr/lib/.*pkgconfig/vza\.pc$'; do
    grep -q "$pattern" <<<"$got" || fail "libvza-dev lacks $pattern"
done
! grep -vq '^usr/\(include/vza\|lib\|share/doc/libvza-dev\)/' <<<"$got" || fail "libvza-dev has files elsewhere: $got"

for deb in "$programs" "$development"; do
    [ "$(field "$deb" Version)" = "$version" ] || fail "$deb: version"
    [[ $(field "$deb" Maintainer) == *"<"*"@"*">" ]] || fail "$deb: maintainer"
    [ -n "$(field "$deb" Description)" ] || fail "$deb: description"
    # No maintainer scripts: dpkg's triggers refresh the caches.
    scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -vx 'control\|md5sums\|' || true)
    [ -z "$scripts" ] || fail "$deb has maintainer files: $scripts"
done

depends=$(field "$programs" Depends)
names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
for package in qt6-qpa-plugins qt6-translations-l10n libqt6widgets6 libqt6gui6 libqt6core6 zlib1g libstdc++6 libc6; do
    if [ "$have_gui" = 1 ] || [[ $package != *qt6* ]]; then
        grep -qxF "$package" <<<"$names" || fail "Depends lacks $package: $depends"
    fi
done
grep -q zlib1g-dev <<<"$(field "$development" Depends)" || fail "libvza-dev must depend on zlib1g-dev"
# Built with ISA-L's inflater, the programs need its runtime and the library its development files.
if grep -q '^VZA_WITH_ISAL:BOOL=ON' "$build/CMakeCache.txt"; then
    grep -qxF libisal2 <<<"$names" || fail "Depends lacks libisal2: $depends"
    grep -q libisal-dev <<<"$(field "$development" Depends)" || fail "libvza-dev must depend on libisal-dev"
fi
# lintian, where installed, finds no error in either package.
if command -v lintian >/dev/null; then
    errors=$(lintian --suppress-tags running-with-root-privileges "$programs" "$development" 2>&1 | grep '^E:' || true)
    [ -z "$errors" ] || fail "lintian: $errors"
fi
echo "Debian packages OK"
