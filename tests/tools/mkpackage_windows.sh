#!/bin/sh
# mkpackage on both sides:
#   1. the i686 and x86_64 builds of mkpackage.exe are PE console programs;
#   2. the native tool builds the sample twice, from two folders whose files
#      carry other times, in other time zones, and the two files are equal;
#   3. mkpackage.exe under wine64 builds the same package byte for byte,
#      lists it as the native tool does and extracts it to the same files,
#      with Japanese names, "\" and "/" in its paths, the same refusals and
#      the same exit codes.
# Runs inside the Wine environment of tools/wine-env.sh (wine64 on PATH,
# ACP 932). usage: tests/tools/mkpackage_windows.sh [BUILD_ROOT]
set -u
cd "$(dirname "$0")/../.."
B=${1:-${BUILD_ROOT:-build}}
ROOT=$(pwd)
NATIVE="$ROOT/$B/host/mkpackage"
WINDOWS="$ROOT/$B/x64/mkpackage.exe"
STUB="$ROOT/$B/x86/install.exe"
WORK="$ROOT/$B/mkpackage-windows"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for file in "$NATIVE" "$WINDOWS" "$B/x86/mkpackage.exe" "$STUB" "$B/x86/Orbelo.exe"; do
    [ -f "$file" ] || { echo "mkpackage_windows: $file is missing (build first)"; exit 1; }
done
command -v wine64 >/dev/null || { echo "mkpackage_windows: wine64 is not on PATH"; exit 1; }

# "machine magic subsystem" of a PE file, in hexadecimal.
pe_kind() {
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')
    magic=$(od -An -tx2 -j$((header + 24)) -N2 "$1" | tr -d ' ')
    subsystem=$(od -An -tx2 -j$((header + 24 + 68)) -N2 "$1" | tr -d ' ')
    echo "$machine $magic $subsystem"
}
# Subsystem 3 is the console; 0x10B a PE32 and 0x20B a PE32+ optional header.
[ "$(pe_kind "$B/x86/mkpackage.exe")" = "014c 010b 0003" ] ||
    fail "x86 mkpackage.exe is no i386 PE32 console program: $(pe_kind "$B/x86/mkpackage.exe")"
[ "$(pe_kind "$WINDOWS")" = "8664 020b 0003" ] ||
    fail "x64 mkpackage.exe is no x86-64 PE32+ console program: $(pe_kind "$WINDOWS")"

rm -rf "$WORK"
mkdir -p "$WORK/a" "$WORK/b"
cd "$WORK" || exit 1
for dir in a b; do
    cp "$ROOT/sample/install.inf" "$ROOT/sample/start.rtf" "$ROOT/sample/uninstall.ico" \
        "$ROOT/sample/Orbelo.chm" "$ROOT/$B/x86/Orbelo.exe" "$dir/"
done
touch -d '+1 day' b/*

# Native output with LF; Windows output is code page 932 with CR LF.
native() { "$NATIVE" "$@"; }
windows() {
    wine64 "$WINDOWS" "$@" >win.out 2>win.err
    status=$?
    tr -d '\r' <win.out | iconv -f CP932 -t UTF-8
    tr -d '\r' <win.err | iconv -f CP932 -t UTF-8 >&2
    return $status
}

export SOURCE_DATE_EPOCH=1213187075
TZ=UTC native build --quiet --script a/install.inf --from a --stub "$STUB" -o a.exe ||
    fail "native build from a"
TZ=Asia/Tokyo native build --quiet --script b/install.inf --from b --stub "$STUB" -o b.exe ||
    fail "native build from b"
cmp -s a.exe b.exe || fail "the same sample from another folder at another time differs"

windows build --script 'a\install.inf' --from 'a\' --stub "$STUB" -o w.exe >w.progress ||
    fail "Windows build"
cmp -s w.exe a.exe || fail "the Windows build of the sample differs from the native one"
native build --script a/install.inf --from a --stub "$STUB" -o n.exe >n.progress
# The summary's time and throughput differ from run to run.
untimed() { sed -e 's/^w\.exe:/n.exe:/' -e 's/; [0-9.]* s, [0-9.]* MB\/s$//' "$1"; }
untimed w.progress | cmp -s - "$(untimed n.progress >n.untimed; echo n.untimed)" ||
    fail "progress lines differ"

windows list a.exe >w.list || fail "Windows list"
native list a.exe >n.list
cmp -s w.list n.list || fail "the listings differ: $(diff w.list n.list)"

# The sample's script saved as UTF-16 with its mark: both read it alike.
mkdir -p u
cp a/* u/
{ printf '\377\376'; iconv -f CP932 -t UTF-16LE a/install.inf; } >u/install.inf
native build --quiet --script u/install.inf --from u --stub "$STUB" -o nu.exe ||
    fail "native build from a UTF-16 script"
windows build --quiet --script 'u\install.inf' --from 'u\' --stub "$STUB" -o wu.exe >/dev/null ||
    fail "Windows build from a UTF-16 script"
cmp -s nu.exe wu.exe || fail "the builds from a UTF-16 script differ"
[ "$(native list nu.exe | wc -l)" -eq "$(wc -l <n.list)" ] ||
    fail "the UTF-16 script packs other entries than the sample's"

windows extract --expand a.exe 'wx\deeper' >/dev/null || fail "Windows extract"
native extract --expand a.exe nx/deeper >/dev/null
for name in install.exe Orbelo.exe Orbelo.chm install.inf start.rtf uninstall.ico; do
    cmp -s "wx/deeper/$name" "nx/deeper/$name" || fail "extracted $name differs"
    [ "$(stat -c %Y "wx/deeper/$name")" = "$(stat -c %Y "nx/deeper/$name")" ] ||
        fail "extracted $name has another time"
done
cmp -s wx/deeper/Orbelo.exe a/Orbelo.exe || fail "Orbelo.exe does not expand to the original"

# A second extraction into the same folder replaces nothing without --force.
printf 'kept' >wx/deeper/start.rtf
windows extract --expand a.exe 'wx\deeper' >/dev/null 2>w.kept
[ $? = 1 ] || fail "Windows extract replaced files without --force"
[ "$(cat wx/deeper/start.rtf)" = kept ] || fail "Windows extract overwrote start.rtf"
grep -q "start.rtf: exists already" w.kept || fail "no word of the file in the way: $(cat w.kept)"
windows extract --force --expand a.exe 'wx\deeper' >/dev/null || fail "Windows extract --force"
cmp -s wx/deeper/start.rtf nx/deeper/start.rtf || fail "--force did not replace start.rtf"

# A header that restores a device name is refused: on Windows "CON" is the
# console, not a file.
mkdir dev
printf 'console data, long enough to compress\n' >dev/CON
native compress dev/CON >/dev/null && rm dev/CON
windows expand 'dev\CO_' >/dev/null 2>w.device
[ $? = 1 ] || fail "Windows expand wrote a device name"
grep -q "restores the name CON" w.device || fail "no word of the device name: $(cat w.device)"

# Japanese names: the script's are code page 932, the folder's UTF-8 here
# and the ANSI code page (932) inside Wine.
mkdir j
printf '[Setup]\r\nReadme=説明書.txt\r\n[Source]\r\n説明書.txt=1\r\n表.dat=1\r\n' |
    iconv -f UTF-8 -t CP932 >j/install.inf
yes '説明の行' | head -200 >j/説明書.txt
windows build --script j/install.inf --from j --stub "$STUB" -o wj.exe >/dev/null 2>w.refused
echo "exit $?" >>w.refused
native build --script j/install.inf --from j --stub "$STUB" -o nj.exe >/dev/null 2>n.refused
echo "exit $?" >>n.refused
tr '\\' / <w.refused | cmp -s - n.refused ||
    fail "the refusals differ: $(tr '\\' / <w.refused | diff - n.refused)"
grep -q "j/表.dat: missing" n.refused || fail "no refusal for the missing 表.dat: $(cat n.refused)"
[ ! -e wj.exe ] && [ ! -e nj.exe ] || fail "a refused build left a file"

printf 'x' >j/表.dat
windows build --script j/install.inf --from j --stub "$STUB" -o wj.exe >/dev/null 2>&1 ||
    fail "Windows build with Japanese names"
native build --script j/install.inf --from j --stub "$STUB" -o nj.exe >/dev/null 2>&1
cmp -s wj.exe nj.exe || fail "the packages with Japanese names differ"
windows list wj.exe | grep -q ' 説明書.tx_$' || fail "Windows list of 説明書.tx_"

windows build --script j/install.inf >/dev/null 2>&1
[ $? = 2 ] || fail "a usage error under Wine does not exit with 2"

cd "$ROOT"
if [ "$failures" -ne 0 ]; then
    echo "mkpackage_windows: $failures failures (files kept in $WORK)"
    exit 1
fi
rm -rf "$WORK"
echo "mkpackage_windows: native and Windows builds agree; the sample is reproducible"
