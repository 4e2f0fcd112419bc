#!/bin/sh
# SZDD interoperability, both ways, with readers and writers written by
# others:
#   1. files compressed by `mkpackage compress` expand byte for byte with
#      Debian's msexpand, with libmspack and with `mkpackage expand`;
#   2. files compressed by Debian's mscompress expand byte for byte with
#      `mkpackage expand` (not below 16 bytes: mscompress writes wrong data
#      there, so those sizes are checked in the first direction only);
#   3. on malformed files (cut, lying lengths, bad headers, data to spare) and
#      on every input the fuzzer kept, our decoder and libmspack agree: the
#      same bytes, or both refuse (see mspack_expand.c for what refusing
#      means on the libmspack side).
# The expansion by the Windows LZ library itself is checked under Wine by
# tests/wine/szdd_lz_test.cpp.
#
# usage: tests/interop/szdd_interop.sh [HOST_BUILD_DIR]   (default build/host)
set -u
cd "$(dirname "$0")/../.."
HOST=${1:-build/host}
MKPACKAGE=$HOST/mkpackage
FUZZ_CORPUS=$HOST/../fuzz/corpus/szdd_fuzz
WORK=$HOST/interop/szdd
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for tool in msexpand mscompress cc; do
    command -v $tool >/dev/null || { echo "szdd_interop: $tool is missing"; exit 1; }
done
[ -x "$MKPACKAGE" ] || { echo "szdd_interop: $MKPACKAGE is missing (build first)"; exit 1; }
rm -rf "$WORK"
mkdir -p "$WORK/corpus" "$WORK/ours" "$WORK/ours.msexpand" "$WORK/ours.mspack" \
    "$WORK/ours.back" "$WORK/peer" "$WORK/peer.back" "$WORK/cases" "$WORK/cases.ours" \
    "$WORK/cases.mspack"
MSPACK=$WORK/mspack_expand
cc -O2 -Wall -Wextra -Werror tests/interop/mspack_expand.c -lmspack -o "$MSPACK" ||
    { echo "szdd_interop: cannot build mspack_expand (libmspack-dev)"; exit 1; }

# --- The corpus -------------------------------------------------------------
C=$WORK/corpus
spaces() { head -c "$1" /dev/zero | tr '\0' ' '; }
# Deterministic bytes that look random: the gzip stream of an executable.
gzip -9 -n -c "$MKPACKAGE" >"$WORK/noise"
cat "$WORK/noise" "$WORK/noise" "$WORK/noise" >"$WORK/noise3"

cp "$MKPACKAGE" "$C/mkpackage.exe"
for f in /usr/bin/bash /usr/bin/msexpand /usr/lib/x86_64-linux-gnu/libmspack.so.0; do
    [ -f "$f" ] && cp "$f" "$C/$(basename "$f").bin"
done
cat $(git ls-files '*.cpp' '*.h' '*.md' '*.sh' | head -300) >"$C/sources.txt"
iconv -c -f UTF-8 -t CP932 res/install.rc base/messages_win.cpp ui/*.cpp >"$C/japanese.cp932" \
    2>/dev/null
gzip -9 -n -c "$C/sources.txt" >"$C/sources.gz"
cp "$WORK/noise" "$C/noise.gz"
for n in 0 1 2 3 15 16 17 18 19 4079 4080 4095 4096 4097 8192 8193; do
    head -c "$n" "$WORK/noise3" >"$C/noise$n.dat"
    head -c "$n" "$C/sources.txt" >"$C/text$n.txt"
    spaces "$n" >"$C/spaces$n.txt"
done
for n in 3 18 4080 4096 4097 20000; do
    { spaces "$n"; head -c 3000 "$C/sources.txt"; spaces 100; } >"$C/lead$n.txt"
done
{ printf ' '; head -c 5000 "$WORK/noise"; } >"$C/leadone.dat"
# About 14 MB: executables, text and compressed data back to back.
{ cat "$HOST/unit_tests"; cat "$C/sources.txt" "$C/sources.txt"; cat "$WORK/noise3"; } |
    head -c 14000000 >"$C/large.bin"

count=$(ls "$C" | wc -l)
echo "szdd_interop: corpus of $count files, $(du -sk "$C" | cut -f1) KiB"

# --- 1. Ours, expanded by others and by ourselves ---------------------------
"$MKPACKAGE" compress "$C"/* -o "$WORK/ours" || fail "mkpackage compress refused a corpus file"
"$MSPACK" "$WORK/ours.mspack" "$WORK/ours"/* >"$WORK/ours.mspack.log" ||
    fail "libmspack refused our files: $(cat "$WORK/ours.mspack.log")"
"$MKPACKAGE" expand "$WORK/ours"/* -o "$WORK/ours.back" || fail "mkpackage expand refused our files"
checked=0
for f in $(ls "$C"); do
    stored=$(printf '%s' "$f" | sed 's/.$/_/')
    [ -f "$WORK/ours/$stored" ] || { fail "no compressed file for $f"; continue; }
    msexpand <"$WORK/ours/$stored" >"$WORK/ours.msexpand/$f" 2>/dev/null
    cmp -s "$C/$f" "$WORK/ours.msexpand/$f" || fail "msexpand: $f"
    cmp -s "$C/$f" "$WORK/ours.mspack/$stored" || fail "libmspack: $f"
    cmp -s "$C/$f" "$WORK/ours.back/$f" || fail "mkpackage expand: $f"
    checked=$((checked + 1))
done
echo "szdd_interop: ours -> msexpand, libmspack, mkpackage expand: $checked files checked"

# --- 2. The peer's files, expanded by us ------------------------------------
peer=0
for f in $(ls "$C"); do
    [ "$(wc -c <"$C/$f")" -ge 16 ] || continue
    cp "$C/$f" "$WORK/peer/$f"
    peer=$((peer + 1))
done
(cd "$WORK/peer" && mscompress *) >/dev/null 2>&1 || fail "mscompress failed"
rm -f $(ls -d "$WORK/peer"/* | grep -v '_$')
"$MKPACKAGE" expand "$WORK/peer"/* -o "$WORK/peer.back" || fail "mkpackage expand refused a peer file"
for f in $(ls "$WORK/peer.back"); do
    cmp -s "$C/$f" "$WORK/peer.back/$f" || fail "peer file $f"
done
[ "$(ls "$WORK/peer.back" | wc -l)" -eq "$peer" ] || fail "peer files missing"
echo "szdd_interop: mscompress -> mkpackage expand: $peer files checked (16 bytes and more)"

# --- 3. Malformed files: our decoder and libmspack agree --------------------
K=$WORK/cases
le32() {  # four bytes, little endian
    n=$1
    for _ in 1 2 3 4; do
        printf "\\$(printf %03o $((n % 256)))"
        n=$((n / 256))
    done
}
header() {  # header with mode $2 and length $1
    printf 'SZDD\210\360\047\063%s\000' "$2"
    le32 "$1"
}
k=0
for f in text4097.txt lead4096.txt mkpackage.exe japanese.cp932 noise16.dat; do
    stored=$(printf '%s' "$f" | sed 's/.$/_/')
    for src in "$WORK/ours/$stored" "$WORK/peer/${f}_"; do
        [ -f "$src" ] || continue
        size=$(wc -c <"$src")
        length=$(wc -c <"$C/$f")
        for cut in 0 7 8 13 14 15 16 17 $((size / 2)) $((size - 2)) $((size - 1)); do
            [ "$cut" -ge 0 ] && [ "$cut" -le "$size" ] || continue
            head -c "$cut" "$src" >"$K/case$k.cut"
            k=$((k + 1))
        done
        for delta in -3 -1 1 1000; do
            { header $((length + delta)) A; tail -c +15 "$src"; } >"$K/case$k.length"
            k=$((k + 1))
        done
        { header "$length" B; tail -c +15 "$src"; } >"$K/case$k.mode"
        k=$((k + 1))
        { printf 'SZDD\210\360\047\064'; tail -c +9 "$src"; } >"$K/case$k.magic"
        k=$((k + 1))
        for extra in '\000' '\001' '\000A' '\377xy' '\000\000\000'; do
            { cat "$src"; printf "$extra"; } >"$K/case$k.extra"
            k=$((k + 1))
        done
    done
done
{ printf 'SZ \210\360\047\063\321'; le32 3; printf '\007abc'; } >"$K/case$k.qbasic"
k=$((k + 1))
for dir in "$FUZZ_CORPUS" tests/fuzz/seeds/szdd_fuzz; do
    [ -d "$dir" ] || continue
    for f in "$dir"/*; do
        [ -f "$f" ] || continue
        cp "$f" "$K/case$k.fuzz"
        k=$((k + 1))
    done
done
"$MKPACKAGE" expand "$K"/* -o "$WORK/cases.ours" >/dev/null 2>&1
"$MSPACK" "$WORK/cases.mspack" "$K"/* >/dev/null 2>&1
if ! diff -r "$WORK/cases.ours" "$WORK/cases.mspack" >"$WORK/cases.diff" 2>&1; then
    fail "our decoder and libmspack disagree:"
    head -20 "$WORK/cases.diff"
fi
accepted=$(ls "$WORK/cases.ours" | wc -l)
echo "szdd_interop: differential with libmspack: $k files, $accepted accepted by both," \
    "$((k - accepted)) refused by both"

if [ "$failures" -ne 0 ]; then
    echo "szdd_interop: $failures failures; files kept in $WORK"
    exit 1
fi
rm -rf "$WORK"
echo "szdd_interop: all checks passed"
