#!/bin/sh
# Extraction benchmark (not a test): a 200 MB package of 4 large entries and
# 1,000 small ones, extracted by ExtractPackageFrom through a small driver,
# against a trivial program that copies the same files with CopyFileA under
# the same warm Wine, and against cp -r. Prints wall times, in-process times
# and peak memory of each round.
#   BUILD_ROOT   build tree with host/mkpackage and the x64 libraries (default build)
#   WINE_DISPLAY X display for the Wine environment (default 91)
#   ROUNDS       rounds of the three runs (default 5)
# Each run starts after a sync, so that the write-back of the previous run's
# 200 MB does not land on the next one.
set -e
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
. tools/wine-env.sh
ROUNDS=${ROUNDS:-5}
work="$ROOT/$B/bench"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

for need in "$B/host/mkpackage" "$B/x64/install.exe" "$B/x64/libwinedge.a" "$B/x64/libcore.a"; do
    [ -e "$need" ] || { echo "missing $need: run tools/build.sh first" >&2; exit 1; }
done

rm -rf "$work"
mkdir -p "$work/files"
python3 - "$work/files" <<'PY'
import os, sys
out = sys.argv[1]
# No entry may begin with a white-space byte: every file starts with "X".
for i in range(4):
    with open(os.path.join(out, "large%d.bin" % i), "wb") as f:
        f.write(b"X" + os.urandom(45 * 1024 * 1024 - 1))
for i in range(1000):
    with open(os.path.join(out, "small%04d.dat" % i), "wb") as f:
        f.write(b"X" + os.urandom(20 * 1024 - 1))
PY
"$B/host/mkpackage" pack --stub "$B/x64/install.exe" -o "$work/package.exe" "$work"/files/* 2>/dev/null
echo "package: $(stat -c %s "$work/package.exe") bytes, $(ls "$work/files" | wc -l) entries"

CXX=x86_64-w64-mingw32-g++-posix
$CXX -O2 -std=c++17 -I"$ROOT" tools/bench/extract_driver.cpp "$B/x64/libwinedge.a" \
    "$B/x64/libcore.a" -lpsapi -static -o "$work/extract_driver.exe"
$CXX -O2 -std=c++17 tools/bench/copyfloor.cpp -lpsapi -static -o "$work/copyfloor.exe"

wine_env_start
trap wine_env_stop EXIT
# Warm the server, the loader and the page cache once.
wine64 "$work/copyfloor.exe" "$(winpath "$work/files")" >/dev/null
wine64 "$work/extract_driver.exe" "$(winpath "$work/package.exe")" >/dev/null

# The wineserver of this prefix: its CPU time belongs to the runs as well.
find_server() {
    server=""
    for pid in $(pgrep -x wineserver64) $(pgrep -x wineserver); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            server=$pid
        fi
    done
}
server_ticks() {
    [ -n "$server" ] && [ -r "/proc/$server/stat" ] || find_server
    if [ -n "$server" ]; then awk '{ print $14 + $15 }' "/proc/$server/stat" 2>/dev/null || echo 0
    else echo 0; fi
}
ticks_per_s=$(getconf CLK_TCK)

timed() {  # label, command...: wall and CPU seconds, peak resident set, wineserver CPU
    label=$1; shift
    sync
    before=$(server_ticks)
    /usr/bin/time -f "$label wall_s=%e user_s=%U sys_s=%S max_rss_kb=%M" "$@" 2>&1
    after=$(server_ticks)
    echo "$label server_cpu_s=$(awk -v t=$((after - before)) -v h="$ticks_per_s" 'BEGIN { print t / h }')"
}
log="$work/results.txt"
: >"$log"
for round in $(seq "$ROUNDS"); do
    echo "round $round"
    # The order alternates, so that neither program always runs second.
    if [ $((round % 2)) -eq 1 ]; then order="extract copy"; else order="copy extract"; fi
    for which in $order; do
        if [ "$which" = extract ]; then
            timed "  extract" wine64 "$work/extract_driver.exe" "$(winpath "$work/package.exe")"
        else
            timed "  copyfloor" wine64 "$work/copyfloor.exe" "$(winpath "$work/files")"
        fi
    done | tee -a "$log" | sed 's/^/  /'
    rm -rf "$work/cp_copy"
    timed "  cp -r" cp -r "$work/files" "$work/cp_copy" | tee -a "$log"
    rm -rf "$work/cp_copy"
done

# Medians: in-process times (extraction vs. copying, both without start-up
# and removal), CPU time of program and wineserver (steady when the machine
# is busy), wall times.
awk '
    function value(key,   i) { for (i = 1; i <= NF; i++) if (index($i, key "=") == 1) return substr($i, length(key) + 2) }
    function median(a, n,   i, j, t) {
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] + 0 < a[i] + 0) { t = a[i]; a[i] = a[j]; a[j] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    /^extract code=/ { e[++ne] = value("ms"); eu[++neu] = value("cpu_ms"); mem = value("peak_working_set_kb") }
    /^copy files=/ { c[++nc] = value("ms"); cu[++ncu] = value("cpu_ms") }
    / extract wall_s=/ { ew[++new] = value("wall_s"); ecpu = value("user_s") + value("sys_s") }
    / copyfloor wall_s=/ { cw[++ncw] = value("wall_s"); ccpu = value("user_s") + value("sys_s") }
    / extract server_cpu_s=/ { ec[++nec] = ecpu + value("server_cpu_s") }
    / copyfloor server_cpu_s=/ { cc[++ncc] = ccpu + value("server_cpu_s") }
    /cp -r wall_s=/ { p[++np] = value("wall_s") * 1000 }
    END {
        printf "median in-process time: extract %.0f ms, CopyFileA %.0f ms, ratio %.2f\n",
            median(e, ne), median(c, nc), median(e, ne) / median(c, nc)
        printf "median CPU time of the program itself: extract %.0f ms, CopyFileA %.0f ms, ratio %.2f\n",
            median(eu, neu), median(cu, ncu), median(eu, neu) / median(cu, ncu)
        printf "median CPU (program + wineserver, removal included): extract %.2f s, CopyFileA %.2f s, ratio %.2f\n",
            median(ec, nec), median(cc, ncc), median(ec, nec) / median(cc, ncc)
        printf "median wall (start-up and removal included): extract %.2f s, CopyFileA %.2f s; cp -r %.0f ms\n",
            median(ew, new), median(cw, ncw), median(p, np)
        printf "extraction peak working set %d KB\n", mem
    }' "$log"
