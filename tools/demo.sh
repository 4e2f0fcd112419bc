#!/bin/sh
# Runs the sample installer (build/sample-x64/install.exe), or the package
# that PACKAGE names (built with the x86_64 stub), under Wine in a private
# prefix (build/demo-prefix, fresh each time).
#   DISPLAY set:   on that display, for a person to click through; returns
#                  when the installer has ended.
#   DISPLAY unset: on a virtual display, where the end-to-end walk-through
#                  (e2e_tests.exe, test Demo.WalkThrough) drives it and keeps a
#                  picture of every screen; prints the folder at the end. A
#                  PACKAGE is driven with the default answers (Demo.AnyPackage):
#                  licence accepted, proposed destination, OK to every message.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
B=${BUILD_ROOT:-build}
INSTALLER="$B/sample-x64/install.exe"
WALK_TEST=Demo.WalkThrough
if [ -n "${PACKAGE:-}" ]; then
    [ -f "$PACKAGE" ] || { echo "demo: $PACKAGE is missing" >&2; exit 1; }
    INSTALLER=$(realpath "$PACKAGE")
    WALK_TEST=Demo.AnyPackage
fi
WALK="$B/x64/e2e_tests.exe"
SCREENS="$ROOT/$B/demo-screens"

[ -f "$INSTALLER" ] || { echo "demo: $INSTALLER is missing (run make first)" >&2; exit 1; }
export WINE_ENV_NAME=demo-prefix

if [ -n "${DISPLAY:-}" ]; then
    export KEEP_DISPLAY=1
    . tools/wine-env.sh
    wine_env_start
    trap wine_env_stop EXIT
    echo "demo: the installer runs on display $DISPLAY; this ends when it does"
    status=0
    wine64 "$INSTALLER" || status=$?
    echo "demo: the installer ended with exit code $status"
    exit $status
fi

[ -f "$WALK" ] || { echo "demo: $WALK is missing (run make first)" >&2; exit 1; }

# A display number that no X server uses yet, unless one is given.
if [ -z "${WINE_DISPLAY:-}" ]; then
    n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    WINE_DISPLAY=$n
fi
export WINE_DISPLAY
. tools/wine-env.sh
wine_env_start
trap wine_env_stop EXIT

rm -rf "$SCREENS"
mkdir -p "$SCREENS"
status=0
E2E_PACKAGE="${PACKAGE:+$INSTALLER}" E2E_SCREENS="$SCREENS" \
    wine64 "$WALK" --gtest_filter=$WALK_TEST || status=$?

for bmp in "$SCREENS"/*.bmp; do
    [ -f "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
if [ "$status" = 0 ]; then
    echo "demo: walk-through complete"
else
    echo "demo: the walk-through failed (exit code $status); its log is above"
fi
echo "demo: screenshots in $SCREENS"
exit $status
