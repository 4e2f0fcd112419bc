#!/bin/sh
# Builds the sample installers from the sample product and its package files:
#   build/sample/install.exe      the shipped 32-bit stub + package
#   build/sample-x64/install.exe  the x86_64 stub + package (what Wine runs)
# The package holds Orbelo.ex_, Orbelo.ch_ and uninstall.ic_ (SZDD forms of
# the built Orbelo.exe of the same architecture, the help file and the icon),
# install.inf and start.rtf. Files are staged in build/sample-files-<arch>/.
#
# Every recorded time is one fixed time (SOURCE_DATE_EPOCH, else the time of
# the checked-out commit), so the same sources give the same bytes.
set -e
cd "$(dirname "$0")/.."
B=${BUILD_ROOT:-build}
MKPACKAGE="$B/host/mkpackage"

fail() { echo "build_sample: $*" >&2; exit 1; }

[ -x "$MKPACKAGE" ] || fail "$MKPACKAGE is missing (build the host tools first)"
for f in sample/install.inf sample/start.rtf sample/uninstall.ico sample/Orbelo.chm; do
    [ -f "$f" ] || fail "$f is missing"
done

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 1213187075)
fi
export SOURCE_DATE_EPOCH

# Our own compressor when this mkpackage has one; otherwise the peer tool.
# SAMPLE_COMPRESSOR=mscompress forces the peer tool (an interoperability check).
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'compressor probe: at least sixteen bytes\r\n' >"$probe_dir/probe.txt"
if [ "${SAMPLE_COMPRESSOR:-}" = mscompress ]; then
    COMPRESSOR=mscompress
elif "$MKPACKAGE" compress "$probe_dir/probe.txt" -o "$probe_dir" >/dev/null 2>&1 &&
    [ -s "$probe_dir/probe.tx_" ]; then
    COMPRESSOR=mkpackage
elif command -v mscompress >/dev/null 2>&1; then
    COMPRESSOR=mscompress
else
    fail "neither '$MKPACKAGE compress' nor mscompress is available"
fi

# compress SOURCE DIR: writes the SZDD form of SOURCE into DIR under the
# underscore name (last character of the name replaced by "_").
compress() {
    name=$(basename "$1")
    target="$2/$(printf '%s' "$name" | sed 's/.$/_/')"
    if [ "$COMPRESSOR" = mkpackage ]; then
        "$MKPACKAGE" compress "$1" -o "$2" >/dev/null
    else
        # mscompress writes NAME_ beside its input: work on a private copy.
        work="$2/.compress"
        rm -rf "$work"
        mkdir -p "$work"
        cp "$1" "$work/$name"
        mscompress "$work/$name"
        mv "$work/${name}_" "$target"
        rm -rf "$work"
    fi
    [ -s "$target" ] || fail "compressing $1 gave no $target"
}

package() {  # arch (x86|x64), output directory
    arch=$1
    out=$2
    stub="$B/$arch/install.exe"
    product="$B/$arch/Orbelo.exe"
    [ -f "$stub" ] || fail "$stub is missing"
    [ -f "$product" ] || fail "$product is missing"
    stage="$B/sample-files-$arch"
    rm -rf "$stage"
    mkdir -p "$stage" "$out"
    compress "$product" "$stage"
    compress sample/Orbelo.chm "$stage"
    compress sample/uninstall.ico "$stage"
    cp sample/install.inf sample/start.rtf "$stage/"
    touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
    "$MKPACKAGE" pack --stub "$stub" -o "$out/install.exe" --time "$SOURCE_DATE_EPOCH" \
        "$stage/Orbelo.ex_" "$stage/Orbelo.ch_" "$stage/install.inf" \
        "$stage/uninstall.ic_" "$stage/start.rtf"
    echo "build_sample: $out/install.exe ($(stat -c %s "$out/install.exe") bytes, $COMPRESSOR)"
}

package x86 "$B/sample"
package x64 "$B/sample-x64"
