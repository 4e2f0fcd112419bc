#!/bin/sh
# Installation benchmark (not a test): a silent installation (-s, no licence)
# of a 200 MB package of 1,000 small files and 4 large ones, half of each kind
# stored SZDD-compressed, timed from start to end against a floor that makes
# the same two passes with CopyFileA alone (the package's stored files into a
# temporary directory, then the expanded files into the destination) under
# the same warm Wine, and against cp -r of the expanded files. Each round
# also times the second pass alone as the installer makes it (ExpandFile per
# stored file) and through the system's LZ expansion library (LZCopy), both
# against the CopyFileA pass of the expanded files in the same process.
#   BUILD_ROOT   build tree with host/mkpackage and x64/install.exe (default build)
#   WINE_DISPLAY X display for the Wine environment (default 91)
#   ROUNDS       rounds of the four runs (default 1)
# The runs use a prefix of their own (bench-prefix), removed at the end with
# everything the installation registered in it.
set -e
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
WINE_ENV_NAME=bench-prefix
. tools/wine-env.sh
ROUNDS=${ROUNDS:-1}
work="$ROOT/$B/install-bench"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
now() { date +%s.%N; }

for need in "$B/host/mkpackage" "$B/x64/install.exe"; do
    [ -e "$need" ] || { echo "missing $need: build it first" >&2; exit 1; }
done

rm -rf "$work"
mkdir -p "$work/files" "$work/script"
# Text-like content, so that the compressed half is worth compressing; every
# file is different.
python3 - "$work/files" "$work/compress.txt" <<'PY'
import os, random, sys
out, listing = sys.argv[1], sys.argv[2]
rng = random.Random(7)
words = [("%x" % rng.getrandbits(rng.randint(8, 40))).encode() for _ in range(4000)]
def text(size, seed):
    r = random.Random(seed)
    block = b" ".join(r.choice(words) for _ in range(30000))[:200 * 1024] + b"\r\n"
    parts, n = [], 0
    while n < size:
        piece = b"%d " % r.getrandbits(32) + block[r.randint(0, 1000):]
        parts.append(piece)
        n += len(piece)
    return b"X" + b"".join(parts)[:size - 1]
compress = []
for i in range(4):
    name = "large%d.bin" % i
    with open(os.path.join(out, name), "wb") as f:
        f.write(text(45 * 1024 * 1024, i))
    if i % 2 == 0:
        compress.append(name)
for i in range(1000):
    name = "small%04d.dat" % i
    with open(os.path.join(out, name), "wb") as f:
        f.write(text(20 * 1024, 100 + i))
    if i % 2 == 0:
        compress.append(name)
open(listing, "w").write("\n".join(compress) + "\n")
PY
# What the installation writes: the files, the program and the script.
need=$(find "$work/files" "$B/x64/install.exe" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 65536 }')
{
    printf '[Setup]\r\nProgramName=InstallBench\r\nInstallPath=bench\\install-bench\r\n'
    printf 'DstNeedSpace=%s\r\n' "$need"
    printf 'InstDispProgramMenu=0\r\n\r\n[Source]\r\ninstall.inf=1\r\ninstall.exe=1\r\n'
    for f in "$work"/files/*; do printf '%s=1\r\n' "$(basename "$f")"; done
} >"$work/script/install.inf"
set --
while read -r name; do set -- "$@" --compress "$name"; done <"$work/compress.txt"
start=$(now)
"$B/host/mkpackage" build --quiet --script "$work/script/install.inf" --from "$work/files" \
    --stub "$B/x64/install.exe" -o "$work/package.exe" "$@"
echo "package built in $(echo "$(now) - $start" | bc) s: $(stat -c %s "$work/package.exe") bytes," \
    "$(du -sb "$work/files" | cut -f1) bytes expanded in $(ls "$work/files" | wc -l) files," \
    "$(wc -l <"$work/compress.txt") stored compressed"
# The floor's inputs: the stored forms as the package holds them, and the
# expanded files with the script and the program the installer copies too.
"$B/host/mkpackage" extract "$work/package.exe" "$work/stored" >/dev/null
cp -al "$work/files" "$work/expanded"
cp "$work/script/install.inf" "$B/x64/install.exe" "$work/expanded/"

CXX=x86_64-w64-mingw32-g++-posix
$CXX -O2 -std=c++17 -I. -finput-charset=UTF-8 -fexec-charset=CP932 tools/bench/install_floor.cpp \
    package/expand_file_win.cpp package/szdd.cpp base/text.cpp -static -o "$work/install_floor.exe"

wine_env_start
# A product with an Uninstall entry is taken as installed, and a silent
# installer of an installed product ends at once: each round starts without it.
unregister() {
    wine64 reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\InstallBench' /f \
        >/dev/null 2>&1 || true
}
cleanup() {
    unregister
    wine_env_stop
    rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT
dest="$WINEPREFIX/drive_c/bench/install-bench"
floor_dest="$WINEPREFIX/drive_c/bench/floor"
mkdir -p "$WINEPREFIX/drive_c/bench"
# Warm Wine and the page cache for every run below.
wine64 "$work/install_floor.exe" "$(winpath "$work/stored")" "$(winpath "$work/expanded")" \
    'C:\bench\floor' >/dev/null
rm -rf "$floor_dest"
cat "$work/package.exe" >/dev/null

round=0
while [ $round -lt "$ROUNDS" ]; do
    round=$((round + 1))
    sync
    start=$(now)
    wine64 "$work/package.exe" -s
    install_s=$(echo "$(now) - $start" | bc)
    bad=0
    for f in "$work"/files/*; do cmp -s "$f" "$dest/$(basename "$f")" || bad=$((bad + 1)); done
    [ $bad -eq 0 ] || { echo "installation is wrong: $bad files differ" >&2; exit 1; }
    rm -rf "$dest"
    unregister
    sync

    start=$(now)
    floor_line=$(wine64 "$work/install_floor.exe" "$(winpath "$work/stored")" \
        "$(winpath "$work/expanded")" 'C:\bench\floor')
    floor_s=$(echo "$(now) - $start" | bc)
    rm -rf "$floor_dest"
    sync

    # The same copy pass once more, the stored files through ExpandFile and
    # through LZCopy, and the copy pass again, in one process: what expanding
    # costs over CopyFileA, against the mean of the copy before and after.
    lz_line=$(wine64 "$work/install_floor.exe" "$(winpath "$work/stored")" \
        "$(winpath "$work/expanded")" 'C:\bench\floor' 'C:\bench\expand' 'C:\bench\lzcopy')
    rm -rf "$floor_dest" "$floor_dest-again" "$WINEPREFIX/drive_c/bench/expand" \
        "$WINEPREFIX/drive_c/bench/lzcopy"
    sync

    start=$(now)
    cp -r "$work/files" "$work/cp-copy"
    cp_s=$(echo "$(now) - $start" | bc)
    rm -rf "$work/cp-copy"
    sync

    # The installer waits for about six ticks of 100 ms: steps 1 to 5 and the end.
    echo "round $round: install ${install_s} s, floor ${floor_s} s ($floor_line), cp -r ${cp_s} s"
    echo "  second pass alone: ${lz_line#floor }"
    echo "$lz_line" | tr ' ' '\n' | awk -F= '{ v[$1] = $2 } END {
        copy = (v["install_ms"] + v["install_again_ms"]) / 2
        printf "  ExpandFile %.2f x the CopyFileA pass (goal 1.1), LZCopy %.2f x" \
            " (copy pass %.0f ms before, %.0f ms after)\n",
            v["expand_ms"] / copy, v["lzcopy_ms"] / copy, v["install_ms"], v["install_again_ms"] }'
    echo "$install_s $floor_s" | awk '{
        goal = 1.3 * $2 + 0.6
        printf "  goal 1.3 x floor + 0.6 s = %.2f s: %s; ticks ~0.6 s = %.0f%% of the installation\n",
            goal, ($1 <= goal ? "met" : "missed"), 100 * 0.6 / $1 }'
done
