# Sourced by the test and demo scripts: starts a private Wine prefix, one
# persistent wineserver and (unless a display is given) a virtual X display.
#   WINE_ENV_NAME  name of the prefix under build/ (default "wineprefix")
#   WINE_DISPLAY   X display number for Xvfb (default 91)
# wine_env_start brings everything up; wine_env_stop tears it down.

# The source tree: ROOT when given; else the current directory, from which
# every script sources this file as tools/wine-env.sh (from a one-line
# "bash -c", $0 names the shell, not a script); else the folder above the
# sourcing script.
if [ -z "${ROOT:-}" ]; then
    if [ -f tools/wine-env.sh ]; then ROOT=$(pwd); else ROOT=$(cd "$(dirname "$0")/.." && pwd); fi
fi
export PATH="/usr/lib/wine:$PATH"
export WINEDEBUG=-all
# Wine would mirror every shortcut the tests create into the Linux desktop
# menus outside the prefix.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
B=${BUILD_ROOT:-build}
export WINEPREFIX="$ROOT/$B/${WINE_ENV_NAME:-wineprefix}"
TEMPLATE="$ROOT/build/wine-template"
XVFB_PID=""

wine_env_start() {
    # A template prefix is initialised once (about 15 s) and copied per run.
    if [ ! -f "$TEMPLATE/system.reg" ]; then
        rm -rf "$TEMPLATE"
        WINEPREFIX="$TEMPLATE" wine64 wineboot -i >/dev/null 2>&1
        WINEPREFIX="$TEMPLATE" wineserver -w
    fi
    rm -rf "$WINEPREFIX"
    cp -a "$TEMPLATE" "$WINEPREFIX"

    if [ -z "${KEEP_DISPLAY:-}" ]; then
        export DISPLAY=":${WINE_DISPLAY:-91}"
        Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        sleep 1
    fi
    # The server and Wine's background services must not inherit the pipes of
    # whatever runs the tests, or that runner would wait for them forever.
    setsid wineserver -p >/dev/null 2>&1 </dev/null &
    setsid wine64 wineboot >/dev/null 2>&1 </dev/null
    # Without a window manager, Wine's managed windows take about 2 s to be
    # destroyed and render black in screenshots; unmanaged ones do neither.
    wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}

wine_env_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}
