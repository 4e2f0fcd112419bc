#!/bin/sh
# A signed package is still a package: the sample's x86_64 installer signed
# with osslsigncode and a certificate made here
#   1. is accepted by osslsigncode verify;
#   2. is read by mkpackage list, and mkpackage verify finds every entry
#      equal to its source (the signature after the archive is never read);
#   3. gives the stub as linked for the uninstaller it installs;
#   4. installs and uninstalls under wine64: the demo's walk-through, run on
#      the signed copy.
# Runs inside the Wine environment of tools/wine-env.sh.
# usage: tests/tools/signing.sh [BUILD_ROOT]
set -u
cd "$(dirname "$0")/../.."
B=${1:-${BUILD_ROOT:-build}}
ROOT=$(pwd)
MKPACKAGE="$ROOT/$B/host/mkpackage"
PACKAGE="$ROOT/$B/sample-x64/install.exe"
WORK="$ROOT/$B/signing"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$WORK"
mkdir -p "$WORK"
cd "$WORK"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Packaging test" \
    -keyout key.pem -out cert.pem >openssl.log 2>&1 || { cat openssl.log; exit 1; }
osslsigncode sign -certs cert.pem -key key.pem -n "Signing test" \
    -in "$PACKAGE" -out install.exe >sign.log 2>&1 || { cat sign.log; exit 1; }
cmp -s "$PACKAGE" install.exe && fail "signing changed nothing"

osslsigncode verify -CAfile cert.pem -in install.exe >verify.log 2>&1 ||
    fail "osslsigncode verify refuses the signed package: $(cat verify.log)"

"$MKPACKAGE" list install.exe >list.txt || fail "mkpackage list cannot read the signed package"
"$MKPACKAGE" list "$PACKAGE" >unsigned.txt
sed "s|$PACKAGE|install.exe|" unsigned.txt | cmp -s - list.txt ||
    fail "the signed package lists otherwise: $(diff unsigned.txt list.txt)"
"$MKPACKAGE" verify install.exe --from "$ROOT/sample" --from "$ROOT/$B/x64" >verify.txt ||
    fail "mkpackage verify: $(cat verify.txt)"

# The uninstaller that stays installed is the package's self entry, which
# the installer extracts as mkpackage does: the image without the header's
# record of a certificate table it does not carry, that is the stub as linked.
"$MKPACKAGE" extract install.exe self >extract.log 2>&1 ||
    fail "mkpackage extract: $(cat extract.log)"
cmp -s self/install.exe "$ROOT/$B/x64/install.exe" ||
    fail "the signed package's self entry is not the stub as linked"
# The walk-through installs the signed copy, starts the product and
# uninstalls it, checking every screen.
E2E_PACKAGE="$WORK/install.exe" E2E_SCREENS="$WORK/screens" \
    wine64 "$ROOT/$B/x64/e2e_tests.exe" --gtest_filter=Demo.WalkThrough >walk.log 2>&1 ||
    fail "the signed package does not install and uninstall: $(tail -20 walk.log)"

[ $failures = 0 ] && echo "signing: ok"
exit $((failures != 0))
