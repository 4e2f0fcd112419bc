#!/bin/sh
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Idempotent: when every package and the locale are present it prints nothing.
set -e

PKGS="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-i686-dev
mingw-w64-x86-64-dev wine64 xvfb xdotool x11-apps fonts-ipafont-gothic locales
mscompress cmake googletest imagemagick libmspack-dev clang libclang-rt-14-dev
make g++ file osslsigncode openssl"

missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    # An index that cannot be fetched (a mirror out of step with an extra
    # architecture's list, say) need not stop the install: the packages may
    # still be found. Only a failed install is fatal, with apt's own reason.
    if ! $SUDO apt-get update -qq; then
        echo "setup: apt-get update reported problems (above); trying the install anyway" >&2
    fi
    log=$(mktemp)
    if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
            $missing >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "setup: installing$missing failed (apt's reason above)" >&2
        exit 1
    fi
    rm -f "$log"
fi

# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 gives code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating the ja_JP.UTF-8 locale"
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
