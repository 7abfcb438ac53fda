#!/bin/sh
# Builds the Debian package and its debug symbols package twice from clean sources of the
# last commit, in two folders of different names and depths, and compares the two builds'
# packages byte for byte. One tree is a
# clone of the repository, the other the archive `git archive` makes of the commit, as a
# distribution gets its sources: the date the build stamps comes from the commit in the one
# and from the archive's file times in the other, and the two must agree. Only what the
# package holds is built (no suites, no benchmarks), without a compiler cache, so that both
# builds really compile. Run by CTest:
#   checkreproducible.sh <sources> <work folder> <cmake> <cpack> [configure options...]
set -eu
src=$1
work=$2
cmake=$3
cpack=$4
shift 4
start=$(date +%s)

if ! commit=$(git -C "$src" rev-parse --verify -q HEAD); then
    echo "$src is not a git checkout with a commit: there is no commit to build twice" >&2
    exit 1
fi
if [ -n "$(git -C "$src" status --porcelain --untracked-files=no)" ]; then
    echo "note: the changes not committed in $src are not built; commit $commit is"
fi

rm -rf "$work"
one="$work/one/quorlin"
two="$work/second-tree/sources"
mkdir -p "$one" "$two"
git clone -q "$src" "$one"
git -C "$one" checkout -q "$commit"
git -C "$src" archive "$commit" | tar -x -C "$two"

# The date comes from the sources, as the check means to show.
unset SOURCE_DATE_EPOCH
jobs=$(nproc 2>/dev/null || echo 2)
for n in 1 2; do
    if [ "$n" = 1 ]; then
        tree=$one
        build=$one/build
    else
        tree=$two
        build=$work/second-tree/build-beside
    fi
    log=$work/build-$n.log
    echo "build $n: $tree -> $build"
    if ! { "$cmake" -S "$tree" -B "$build" "$@" -DQUORLIN_BUILD_TESTS=OFF \
               -DQUORLIN_BUILD_BENCH=OFF -DCMAKE_CXX_COMPILER_LAUNCHER= &&
           "$cmake" --build "$build" -j "$jobs" &&
           (cd "$build" && "$cpack" -G DEB); } >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "build $n failed (the whole log: $log)" >&2
        exit 1
    fi
done

same=yes
for pattern in 'quorlin_*.deb' 'quorlin-dbgsym_*.ddeb'; do
    deb1=$(ls "$one"/build/$pattern)
    deb2=$(ls "$work"/second-tree/build-beside/$pattern)
    if ! cmp -s "$deb1" "$deb2"; then
        same=no
        break
    fi
    echo "the two packages are the same bytes: $(sha256sum "$deb1" | cut -d' ' -f1) $(basename "$deb1")"
done
if [ "$same" = yes ]; then
    echo "two clean builds and packages in $(($(date +%s) - start)) s"
    exit 0
fi

# Say where they differ: the archive members, then the files in the package.
echo "the two packages differ:" >&2
cmp "$deb1" "$deb2" >&2 || true
for deb in "$deb1" "$deb2"; do
    ar tv "$deb" >&2
done
mkdir -p "$work/unpacked-1" "$work/unpacked-2"
dpkg-deb -R "$deb1" "$work/unpacked-1"
dpkg-deb -R "$deb2" "$work/unpacked-2"
diff -r "$work/unpacked-1" "$work/unpacked-2" >&2 || true
dpkg-deb -c "$deb1" >"$work/contents-1"
dpkg-deb -c "$deb2" >"$work/contents-2"
diff "$work/contents-1" "$work/contents-2" >&2 || true
if command -v diffoscope >/dev/null; then
    diffoscope "$deb1" "$deb2" | head -n 200 >&2 || true
fi
exit 1
