#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The library as others use it: install the development component under a
# temporary prefix; build examples/ there with find_package(vza) and, once
# more, with pkg-config; link the static libraries whole into a shared
# object; and run the examples on archives of their own and of vza.
#   examples.sh BUILD_DIR SOURCE_DIR WORK_DIR VZA
set -euo pipefail
build=$1 source=$2 work=$3 vza=$4
rm -rf "$work" && mkdir -p "$work/input/sub"
fail() { echo "FAIL: $*" >&2; exit 1; }
prefix=$work/prefix
examples=(vza_list vza_cat vza_extract vza_pack)

cmake --install "$build" --prefix "$prefix" --component development >"$work/install.log"
rm -f "$build/install_manifest_development.txt" "$build/install_folders_development.txt"

# find_package(vza) from the installed tree; nothing of the source tree.
cmake -S "$source/examples" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
! grep -rq -- "$source/archive\|$source/codec\|$build/archive\|$build/codec\|$build/include" "$work/build/build.ninja" ||
    fail "the examples were built against the source or build tree"

# pkg-config, from wherever the tree was installed.
pc_dir=$(dirname "$(find "$prefix" -name vza.pc)")
read -ra cflags <<<"$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags vza)"
read -ra libs <<<"$(PKG_CONFIG_PATH=$pc_dir pkg-config --libs vza)"
mkdir -p "$work/pc"
for example in "${examples[@]}"; do
    g++ -std=c++20 -O1 "${cflags[@]}" -o "$work/pc/$example" "$source/examples/$example.cpp" "${libs[@]}" ||
        fail "$example does not build with pkg-config"
done

# Position-independent: every object of both libraries goes into a shared
# object, with no symbol left unresolved, and a program runs from it.
libdir=$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=libdir vza)
mkdir -p "$work/shared"
g++ -shared -fPIC -Wl,-z,defs -o "$work/shared/libvza_all.so" -Wl,--whole-archive "$libdir/libvza_archive.a" \
    "$libdir/libvza_codec.a" -Wl,--no-whole-archive "${libs[@]}" || fail "the static libraries cannot go into a shared object"
g++ -std=c++20 "${cflags[@]}" -o "$work/shared/vza_list" "$source/examples/vza_list.cpp" \
    -L"$work/shared" -lvza_all -Wl,-rpath,"$work/shared" || fail "vza_list does not link with the shared object"
# grep reads all of ldd's output: with pipefail, grep -q quitting early could
# end ldd by SIGPIPE and fail the pipeline although the library was found.
ldd "$work/shared/vza_list" >"$work/shared/ldd.txt"
grep -q libvza_all.so "$work/shared/ldd.txt" || fail "vza_list does not use the shared object"

printf 'first file\n' >"$work/input/a.txt"
head -c 300000 /dev/urandom >"$work/input/sub/random.bin"
seq 1 20000 >"$work/input/sub/numbers.txt"
want=$(printf '%10u  %s\n' 11 a.txt 108894 sub/numbers.txt 300000 sub/random.bin)

# Archives made by vza_pack (plain and encrypted) and by vza read the same
# through every build of the examples, and vza reads vza_pack's.
(cd "$work/input" && "$work/build/vza_pack" "$work/packed.vza" a.txt sub &&
    VZA_PASSWORD=pw "$work/pc/vza_pack" "$work/packed-sealed.vza" a.txt sub &&
    "$vza" create -q -z "$work/plain.vza" a.txt sub && VZA_PASSWORD=pw "$vza" create -q -z -e "$work/sealed.vza" a.txt sub) ||
    fail "making the archives"
[ "$("$vza" list "$work/packed.vza" | grep -c '')" -ge 3 ] || fail "vza cannot list vza_pack's archive"
for archive in packed packed-sealed plain sealed; do
    for list in "$work/build/vza_list" "$work/pc/vza_list" "$work/shared/vza_list"; do
        [ "$(VZA_PASSWORD=pw "$list" "$work/$archive.vza")" = "$want" ] || fail "$list on $archive.vza"
    done
    for entry in a.txt sub/random.bin sub/numbers.txt; do
        VZA_PASSWORD=pw "$work/pc/vza_cat" "$work/$archive.vza" "$entry" | cmp - "$work/input/$entry" ||
            fail "vza_cat $entry of $archive.vza"
    done
    VZA_PASSWORD=pw "$work/build/vza_extract" "$work/$archive.vza" "$work/out-$archive" >/dev/null ||
        fail "vza_extract $archive.vza"
    diff -r "$work/input" "$work/out-$archive" || fail "vza_extract $archive.vza: files differ"
done

# Failures are reported, with status 1 and a message.
expect_failure() {
    local what=$1; shift
    if "$@" >/dev/null 2>"$work/err"; then fail "$what succeeded"; fi
    [ -s "$work/err" ] || fail "$what gave no message"
}
cat=$work/build/vza_cat
expect_failure "missing entry" "$cat" "$work/plain.vza" nope.txt
expect_failure "wrong password" env VZA_PASSWORD=wrong "$cat" "$work/sealed.vza" a.txt
expect_failure "not an archive" "$work/build/vza_list" "$work/input/a.txt"
expect_failure "packing nothing" "$work/build/vza_pack" "$work/none.vza" "$work/missing"
[ ! -e "$work/none.vza" ] || fail "vza_pack left an archive of nothing"
# A file where a folder must go: that entry fails, the others are written.
mkdir -p "$work/blocked" && touch "$work/blocked/sub"
expect_failure "entry blocked by a file" "$work/build/vza_extract" "$work/plain.vza" "$work/blocked"
cmp "$work/blocked/a.txt" "$work/input/a.txt" || fail "vza_extract stopped at the first failure"
# A damaged entry: one compressed entry, a byte of its checksum flipped.
(cd "$work/input" && "$vza" create -q -z "$work/damaged.vza" sub/numbers.txt) >/dev/null
size=$(stat -c %s "$work/damaged.vza")
printf '\xff' | dd of="$work/damaged.vza" bs=1 seek=$((size - 2)) conv=notrunc status=none
expect_failure "damaged entry" "$cat" "$work/damaged.vza" sub/numbers.txt
expect_failure "damaged entry" "$work/build/vza_extract" "$work/damaged.vza" "$work/out-damaged"
[ ! -e "$work/out-damaged/sub/numbers.txt" ] || fail "vza_extract left a damaged file"
echo "examples OK"
