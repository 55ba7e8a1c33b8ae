#!/bin/sh
# Checks the ABI of the suite's shared libraries, as installed from a build
# folder (default: build), against the baselines in abi/: a change that
# breaks a library's ABI fails unless its SOVERSION was raised with it. What
# counts is what the installed headers declare. The baselines are kept
# compressed: abidw's XML runs to megabytes.
#
#   scripts/check-abi.sh [BUILD]            check
#   scripts/check-abi.sh --update [BUILD]   write the baselines anew (after a
#                                           SOVERSION raise or an addition)
set -e
source_dir=$(cd "$(dirname "$0")/.." && pwd)
update=no
if [ "$1" = "--update" ]; then
    update=yes
    shift
fi
build=$(cd "${1:-$source_dir/build}" && pwd)
for tool in abidw abidiff xz; do
    command -v $tool >/dev/null || { echo "abi: $tool is missing (scripts/install-deps.sh --test installs it)" >&2; exit 2; }
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/usr" >/dev/null
mkdir -p "$source_dir/abi"

status=0
for library in $(find "$stage/usr/lib" -maxdepth 2 -name 'lib*.so.*.*.*' | sort); do
    soname=$(objdump -p "$library" | awk '$1 == "SONAME" {print $2}')
    name=${soname%%.so.*}
    current=$stage/$name.abi
    abidw --no-show-locs --no-corpus-path --type-id-style hash --drop-private-types \
        --headers-dir "$stage/usr/include" --out-file "$current" "$library"
    baseline=$source_dir/abi/$name.abi.xz
    if [ $update = yes ]; then
        xz -9 -c "$current" >"$baseline"
        echo "abi: $soname: baseline written to abi/$name.abi.xz"
        continue
    fi
    if [ ! -f "$baseline" ]; then
        echo "abi: $soname has no baseline; write one with scripts/check-abi.sh --update" >&2
        status=1
        continue
    fi
    xz -dc "$baseline" >"$stage/$name.baseline.abi"
    before=$(sed -n "s/.*soname='\([^']*\)'.*/\1/p" "$stage/$name.baseline.abi" | head -n 1)
    # abidiff calls a changed type (a class that grew a member, a moved
    # virtual) a change, not an incompatible one: with additions left out,
    # any change it still reports is a break.
    rc=0
    abidiff --no-show-locs --no-added-syms "$stage/$name.baseline.abi" "$current" >"$stage/$name.diff" 2>&1 || rc=$?
    if [ $((rc & 3)) -ne 0 ]; then
        cat "$stage/$name.diff" >&2
        echo "abi: abidiff could not compare $soname" >&2
        status=1
    elif [ $((rc & 12)) -ne 0 ] && [ "$before" = "$soname" ]; then
        cat "$stage/$name.diff" >&2
        echo "abi: $soname breaks the ABI of its baseline: raise its SOVERSION, or keep the ABI" >&2
        status=1
    elif [ $((rc & 12)) -ne 0 ]; then
        echo "abi: $soname breaks the ABI of $before, as its new SOVERSION says; write its baseline anew"
    elif ! abidiff --no-show-locs "$stage/$name.baseline.abi" "$current" >"$stage/$name.diff" 2>&1; then
        echo "abi: $soname: additions only; the baseline may be written anew"
        cat "$stage/$name.diff"
    else
        echo "abi: $soname: as its baseline"
    fi
done
exit $status
