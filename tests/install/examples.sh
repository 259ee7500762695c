#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The library as others use it: install the development component under a
# temporary prefix, build examples/ there with find_package(vza) and, once
# more, with pkg-config, and run both programs on archives vza made.
#   examples.sh BUILD_DIR SOURCE_DIR WORK_DIR VZA
set -euo pipefail
build=$1 source=$2 work=$3 vza=$4
rm -rf "$work" && mkdir -p "$work/input/sub"
fail() { echo "FAIL: $*" >&2; exit 1; }
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" --component development >"$work/install.log"

# find_package(vza) from the installed tree; nothing of the source tree.
cmake -S "$source/examples" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
! grep -rq -- "$source/archive\|$source/codec" "$work/build/build.ninja" ||
    fail "the examples were built against the source tree"

# pkg-config, from wherever the tree was installed.
pc=$(find "$prefix" -name vza.pc)
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs vza)
g++ -std=c++20 -o "$work/vza_list_pc" "$source/examples/vza_list.cpp" $flags

printf 'first file\n' >"$work/input/a.txt"
head -c 300000 /dev/urandom >"$work/input/sub/random.bin"
seq 1 20000 >"$work/input/sub/numbers.txt"
(cd "$work/input" && "$vza" create -z "$work/plain.vza" a.txt sub &&
    VZA_PASSWORD=pw "$vza" create -z -e "$work/sealed.vza" a.txt sub) >/dev/null

want=$(printf '%10u  %s\n' 11 a.txt 108894 sub/numbers.txt 300000 sub/random.bin)
for list in "$work/build/vza_list" "$work/vza_list_pc"; do
    [ "$("$list" "$work/plain.vza")" = "$want" ] || fail "$list on plain.vza"
    [ "$(VZA_PASSWORD=pw "$list" "$work/sealed.vza")" = "$want" ] || fail "$list on sealed.vza"
done

cat=$work/build/vza_cat
for entry in a.txt sub/random.bin sub/numbers.txt; do
    "$cat" "$work/plain.vza" "$entry" | cmp - "$work/input/$entry" || fail "vza_cat $entry"
    VZA_PASSWORD=pw "$cat" "$work/sealed.vza" "$entry" | cmp - "$work/input/$entry" ||
        fail "vza_cat $entry (encrypted)"
done

# Failures are reported, with status 1.
expect_failure() {
    local what=$1; shift
    if "$@" >/dev/null 2>"$work/err"; then fail "$what succeeded"; fi
    [ -s "$work/err" ] || fail "$what gave no message"
}
expect_failure "missing entry" "$cat" "$work/plain.vza" nope.txt
expect_failure "wrong password" env VZA_PASSWORD=wrong "$cat" "$work/sealed.vza" a.txt
expect_failure "not an archive" "$work/build/vza_list" "$work/input/a.txt"
# A damaged entry: one compressed entry, a byte of its checksum flipped.
(cd "$work/input" && "$vza" create -z "$work/damaged.vza" sub/numbers.txt) >/dev/null
size=$(stat -c %s "$work/damaged.vza")
printf '\xff' | dd of="$work/damaged.vza" bs=1 seek=$((size - 2)) conv=notrunc status=none
expect_failure "damaged entry" "$cat" "$work/damaged.vza" sub/numbers.txt
echo "examples OK"
