#!/bin/bash
# SZDD benchmark: our encoder and decoder (mkpackage compress / expand) against
# Debian's mscompress / msexpand and against the smallest file the format
# allows, per class of data, on a corpus of about 55 MB gathered from this
# machine, plus one file of about 110 MB for speed.
#
# usage: tools/bench/szdd_bench.sh [HOST_BUILD_DIR [BASELINE_MKPACKAGE]]
#   HOST_BUILD_DIR      where mkpackage is (default build/host)
#   BASELINE_MKPACKAGE  another mkpackage (say, one built from main) measured
#                       in the same run, for before and after figures
# Run it under `taskset -c N` for figures on one processor: every program it
# starts inherits the affinity, and mkpackage then runs on one thread.
#
# The bound is exact: an independent programme finds, at every position, the
# longest match by looking at every earlier occurrence of the position's
# first three bytes in the window, then takes the cheapest parse (9 bits per
# literal, 17 per reference). A file cannot be smaller than its header plus
# those bits. Speeds are input megabytes (10^6 bytes) per second of wall time
# for the whole class, one process per file for the peer tools and one
# process per class for ours, with the CPU time (user and system, of every
# process) beside them; mkpackage runs files side by side on the processors
# it may use and spreads a lone file's match finding over them. The ratios
# are our compression speed over mscompress's, both measured in this run, by
# wall time and by CPU time. Every file of ours is checked to expand to the
# original, with mkpackage expand and with msexpand.
set -eu
cd "$(dirname "$0")/../.."
HOST=${1:-build/host}
MKPACKAGE=$(cd "$HOST" && pwd)/mkpackage
BASELINE=${2:-}
# In memory where there is a tmpfs: on ext4, creating files is slow for
# minutes after many were deleted (the inode allocator passes over recently
# deleted inodes one by one), which this benchmark itself causes by clearing
# its previous run, and which took half of mkpackage's time on the classes
# of many small files. SZDD_BENCH_DIR chooses another place.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then DEFAULT_WORK=/dev/shm/szdd-bench; else DEFAULT_WORK=/tmp/szdd-bench; fi
WORK=${SZDD_BENCH_DIR:-$DEFAULT_WORK}
[ -x "$MKPACKAGE" ] || { echo "build $MKPACKAGE first"; exit 1; }
[ -z "$BASELINE" ] || [ -x "$BASELINE" ] || { echo "$BASELINE is not a program"; exit 1; }
[ -z "$BASELINE" ] || BASELINE=$(cd "$(dirname "$BASELINE")" && pwd)/$(basename "$BASELINE")
for tool in mscompress msexpand g++ iconv msgunfmt; do
    command -v $tool >/dev/null || { echo "$tool is missing"; exit 1; }
done
rm -rf "$WORK"
mkdir -p "$WORK"

# --- The bound ----------------------------------------------------------------
cat >"$WORK/bound.cpp" <<'EOF'
// Prints, for each file, the smallest SZDD size any parse can reach.
#include <stdio.h>
#include <stdint.h>
#include <vector>
int main(int argc, char** argv) {
    unsigned long long total = 0;
    std::vector<int32_t> head(1 << 24);
    for (int a = 1; a < argc; ++a) {
        FILE* f = fopen(argv[a], "rb");
        if (!f) return 1;
        std::vector<uint8_t> d(4096, ' ');  // the ring's initial spaces
        int c;
        while ((c = getc(f)) != EOF) d.push_back(static_cast<uint8_t>(c));
        fclose(f);
        const long n = static_cast<long>(d.size());
        std::fill(head.begin(), head.end(), -1);
        std::vector<int32_t> prev(n, -1);
        std::vector<uint8_t> longest(n, 0);
        for (long i = 0; i + 2 < n; ++i) {
            uint32_t key = d[i] | d[i + 1] << 8 | d[i + 2] << 16;
            if (i >= 4096) {
                long limit = n - i < 18 ? n - i : 18;
                long best = 0;
                for (long j = head[key]; j >= 0 && i - j <= 4096 && best < limit; j = prev[j]) {
                    long len = 0;
                    while (len < limit && d[j + len] == d[i + len]) ++len;
                    if (len > best) best = len;
                }
                longest[i] = static_cast<uint8_t>(best);
            }
            prev[i] = head[key];
            head[key] = static_cast<int32_t>(i);
        }
        std::vector<uint32_t> cost(n + 1, 0);
        for (long i = n - 1; i >= 4096; --i) {
            uint32_t best = cost[i + 1] + 9;
            for (long len = 3; len <= longest[i]; ++len)
                if (cost[i + len] + 17 < best) best = cost[i + len] + 17;
            cost[i] = best;
        }
        total += 14 + (cost[4096] + 7) / 8;
    }
    printf("%llu\n", total);
    return 0;
}
EOF
g++ -O2 -o "$WORK/bound" "$WORK/bound.cpp"

# --- The corpus ---------------------------------------------------------------
# take DIR MAXBYTES FILE...: copies regular files (each at most 8 MB, no two
# with the same contents) into DIR until MAXBYTES are there.
take() {
    local dir=$1 max=$2 total=0 count=0 size sum
    shift 2
    mkdir -p "$dir"
    for f in "$@"; do
        [ -f "$f" ] && [ ! -L "$f" ] || continue
        size=$(stat -c %s "$f")
        [ "$size" -gt 0 ] && [ "$size" -le 8000000 ] || continue
        sum=$(cksum <"$f" | cut -d' ' -f1)
        [ -e "$dir/.seen.$sum" ] && continue
        touch "$dir/.seen.$sum"
        count=$((count + 1))
        cp "$f" "$dir/$(printf '%05d' $count)_$(basename "$f" | tr -c 'A-Za-z0-9.\n-' -)"
        total=$((total + size))
        [ "$total" -lt "$max" ] || break
    done
    rm -f "$dir"/.seen.*
}

echo "gathering the corpus..."
take "$WORK/exe" 20000000 /usr/bin/* /usr/lib/x86_64-linux-gnu/*.so*
take "$WORK/text" 14000000 /usr/share/common-licenses/* /usr/share/doc/*/copyright \
    /usr/include/*.h /usr/include/*/*.h /usr/include/c++/*/bits/*
take "$WORK/compressed" 12000000 /usr/share/doc/*/changelog*.gz /usr/share/man/man1/*.gz \
    $(find /usr/share -name '*.png' -size +20k 2>/dev/null | sort | head -400) \
    $(find /usr/share -name '*.jar' 2>/dev/null | sort | head -20)

# CP932 text: Japanese message catalogues and, where present, Japanese
# documentation, stripped of markup and converted with iconv.
mkdir -p "$WORK/japanese.utf8"
for mo in /usr/share/locale/ja/LC_MESSAGES/*.mo; do
    msgunfmt "$mo" >"$WORK/japanese.utf8/$(basename "$mo" .mo).po" 2>/dev/null || true
done
for html in $(find / -xdev -path '*/ja/*' -name '*.html' 2>/dev/null | sort | head -300); do
    sed -e 's/<[^>]*>//g' "$html" >"$WORK/japanese.utf8/$(echo "$html" | cksum | cut -d' ' -f1).txt"
done
mkdir -p "$WORK/cp932.all"
for f in "$WORK/japanese.utf8"/*; do
    iconv -c -f UTF-8 -t CP932 "$f" >"$WORK/cp932.all/$(basename "$f")" 2>/dev/null || true
done
take "$WORK/cp932" 9000000 "$WORK/cp932.all"/*
rm -rf "$WORK/japanese.utf8" "$WORK/cp932.all"

# About 110 MB of executables and text in one file, for speed.
mkdir -p "$WORK/large"
cat "$WORK/exe"/* "$WORK/text"/* "$WORK/exe"/* "$WORK/text"/* "$WORK/exe"/* "$WORK/text"/* |
    head -c 110000000 >"$WORK/large/large.bin"

# --- Measurements ---------------------------------------------------------------
# timed FILE COMMAND...: runs COMMAND and writes "WALL CPU" seconds to FILE,
# the CPU time of every process it started included.
timed() {
    local out=$1 t0 t1
    shift
    t0=$(date +%s.%N)
    /usr/bin/time -f '%U %S' -o "$out.cpu" "$@"
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" '{ print b - a, $1 + $2 }' "$out.cpu" >"$out"
}
wall() { cut -d' ' -f1 "$1"; }
cpu() { cut -d' ' -f2 "$1"; }
mbps() { awk -v b="$1" -v t="$2" 'BEGIN { printf "%.1f", b / 1e6 / (t > 0 ? t : 1e-9) }'; }
pct() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.2f%%", (a - b) * 100 / b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1fx", b / (a > 0 ? a : 1e-9) }'; }
sumsize() { cat "$@" | wc -c; }
# mscompress on every file of a directory, one process each.
COMPRESS_EACH='for f in "$1"/*; do mscompress "$f" >/dev/null 2>&1; done'

sizes=$(printf '%-11s %5s %9s | %11s %11s %11s | %9s %9s' class files input ours mscompress \
    bound "vs msc" "vs bound")
speeds=$(printf '%-11s | %24s | %23s | %15s' class "compress MB/s ours (CPU)" \
    "mscompress (CPU)" "ratio (CPU)")
expands=$(printf '%-11s | %15s %13s' class "expand MB/s ours" msexpand)
if [ -n "$BASELINE" ]; then
    sizes="$sizes $(printf '| %11s %9s' baseline "vs bound")"
    speeds="$speeds $(printf '| %23s %15s' "baseline MB/s (CPU)" "ratio (CPU)")"
fi
for class in exe text cp932 compressed large; do
    dir=$WORK/$class
    [ -d "$dir" ] && [ -n "$(ls "$dir")" ] || continue
    files=$(ls "$dir" | wc -l)
    input=$(sumsize "$dir"/*)
    mkdir -p "$WORK/$class.ours" "$WORK/$class.back" "$WORK/$class.peer" "$WORK/$class.peerback"

    timed "$WORK/ours.time" "$MKPACKAGE" compress "$dir"/* -o "$WORK/$class.ours"
    ours=$(sumsize "$WORK/$class.ours"/*)

    timed "$WORK/expand.time" "$MKPACKAGE" expand "$WORK/$class.ours"/* -o "$WORK/$class.back"
    for f in $(ls "$dir"); do
        cmp -s "$dir/$f" "$WORK/$class.back/$f" || { echo "ROUND TRIP FAILED: $class/$f"; exit 1; }
    done

    cp "$dir"/* "$WORK/$class.peer/"
    timed "$WORK/peer.time" bash -c "$COMPRESS_EACH" - "$WORK/$class.peer"
    peer=0
    for f in $(ls "$dir"); do peer=$((peer + $(stat -c %s "$WORK/$class.peer/${f}_"))); done

    t0=$(date +%s.%N)
    for f in $(ls "$dir"); do
        stored=$(printf '%s' "$f" | sed 's/.$/_/')
        msexpand <"$WORK/$class.ours/$stored" >"$WORK/$class.peerback/$f"
    done
    t1=$(date +%s.%N)
    peerExpand=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
    for f in $(ls "$dir"); do
        cmp -s "$dir/$f" "$WORK/$class.peerback/$f" || { echo "MSEXPAND DIFFERS: $class/$f"; exit 1; }
    done

    bound=$("$WORK/bound" "$dir"/*)
    sizes="$sizes
$(printf '%-11s %5d %9d | %11d %11d %11d | %9s %9s' "$class" "$files" "$input" "$ours" "$peer" \
        "$bound" "$(pct "$ours" "$peer")" "$(pct "$ours" "$bound")")"
    speeds="$speeds
$(printf '%-11s | %11s (CPU %6s) | %10s (CPU %6s) | %6s (%6s)' "$class" \
        "$(mbps "$input" "$(wall "$WORK/ours.time")")" "$(mbps "$input" "$(cpu "$WORK/ours.time")")" \
        "$(mbps "$input" "$(wall "$WORK/peer.time")")" "$(mbps "$input" "$(cpu "$WORK/peer.time")")" \
        "$(ratio "$(wall "$WORK/ours.time")" "$(wall "$WORK/peer.time")")" \
        "$(ratio "$(cpu "$WORK/ours.time")" "$(cpu "$WORK/peer.time")")")"
    expands="$expands
$(printf '%-11s | %15s %13s' "$class" "$(mbps "$input" "$(wall "$WORK/expand.time")")" \
        "$(mbps "$input" "$peerExpand")")"

    if [ -n "$BASELINE" ]; then
        mkdir -p "$WORK/$class.baseline"
        timed "$WORK/baseline.time" "$BASELINE" compress "$dir"/* -o "$WORK/$class.baseline"
        baseline=$(sumsize "$WORK/$class.baseline"/*)
        sizes="$sizes $(printf '| %11d %9s' "$baseline" "$(pct "$baseline" "$bound")")"
        speeds="$speeds $(printf '| %10s (CPU %6s) %6s (%6s)' \
            "$(mbps "$input" "$(wall "$WORK/baseline.time")")" \
            "$(mbps "$input" "$(cpu "$WORK/baseline.time")")" \
            "$(ratio "$(wall "$WORK/baseline.time")" "$(wall "$WORK/peer.time")")" \
            "$(ratio "$(cpu "$WORK/baseline.time")" "$(cpu "$WORK/peer.time")")")"
        rm -rf "$WORK/$class.baseline"
    fi
    rm -rf "$WORK/$class.back" "$WORK/$class.peer" "$WORK/$class.peerback"
done
echo
echo "$sizes"
echo
echo "$speeds"
echo
echo "$expands"
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
# The corpus is gathered again on every run; in memory it would hold
# several hundred megabytes.
rm -rf "$WORK"
