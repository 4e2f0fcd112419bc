#!/bin/sh
# Builds the sample installers from the sample product and its package files:
#   build/sample/install.exe      the shipped 32-bit stub + package
#   build/sample-x64/install.exe  the x86_64 stub + package (what Wine runs)
# with `mkpackage build` from sample/install.inf: the files come from sample/
# and the built Orbelo.exe of the same architecture from build/<arch>/. The
# package holds Orbelo.ex_, Orbelo.ch_ and uninstall.ic_ (SZDD forms),
# install.inf and start.rtf, as the shipped package does; the help file is
# stored compressed although that does not make the sample's smaller.
# The stored files are also extracted into build/sample-files-<arch>/.
#
# Every recorded time is one fixed time (SOURCE_DATE_EPOCH, else the time of
# the checked-out commit), so the same sources give the same bytes.
set -e
cd "$(dirname "$0")/.."
B=${BUILD_ROOT:-build}
MKPACKAGE="$B/host/mkpackage"

fail() { echo "build_sample: $*" >&2; exit 1; }

[ -x "$MKPACKAGE" ] || fail "$MKPACKAGE is missing (build the host tools first)"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 1213187075)
fi
export SOURCE_DATE_EPOCH

package() {  # arch (x86|x64), output directory
    arch=$1
    out=$2
    mkdir -p "$out"
    "$MKPACKAGE" build --quiet --script sample/install.inf --from sample --from "$B/$arch" \
        --stub "$B/$arch/install.exe" --compress Orbelo.chm --time "$SOURCE_DATE_EPOCH" -o "$out/install.exe" ||
        fail "$out/install.exe not built"
    stage="$B/sample-files-$arch"
    rm -rf "$stage"
    "$MKPACKAGE" extract "$out/install.exe" "$stage" >/dev/null
    echo "build_sample: $out/install.exe ($(stat -c %s "$out/install.exe") bytes)"
}

package x86 "$B/sample"
package x64 "$B/sample-x64"
