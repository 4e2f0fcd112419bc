#!/bin/sh
# Runs the whole suite: native unit tests, fuzz targets (briefly), and the
# Windows-side tests under wine64 on a virtual display.
set -e
cd "$(dirname "$0")/.."
. tools/wine-env.sh
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
status=0

echo "== native unit tests"
ctest --test-dir $B/host -j 2 --timeout 300 --output-on-failure || status=1

echo "== the linked programs"
sh tests/build/check_program.sh $B || status=1
sh tests/build/check_doc_paths.sh || status=1

echo "== fuzz targets (${FUZZ_SECONDS} s each)"
for target in $B/fuzz/*_fuzz; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    corpus="$B/fuzz/corpus/$(basename "$target")"
    mkdir -p "$corpus"
    seeds="tests/fuzz/seeds/$(basename "$target")"
    [ -d "$seeds" ] || seeds=""
    if ! "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=0 "$corpus" $seeds \
        >"$corpus.log" 2>&1; then
        echo "FUZZ FAILURE: $target"; tail -40 "$corpus.log"; status=1
    else
        echo "$(basename "$target"): no crash, $(ls "$corpus" | wc -l) corpus entries"
    fi
done

echo "== interoperability with other SZDD readers and writers"
sh tests/interop/szdd_interop.sh $B/host || status=1

echo "== Windows-side tests under wine64"
wine_env_start
mkdir -p $B/artifacts
log=$B/x64/Testing/Temporary
if ! ctest --test-dir $B/x64 -j 1 --timeout 120 --output-on-failure -O $B/x64-ctest.log; then
    # A test whose program never ran (the Wine loader ended before any test
    # output) or that hung is started once more; a test that ran to its end
    # and failed stays failed.
    [ -s $log/LastTestsFailed.log ] || status=1
    ran=$(awk '/^[0-9]+\/[0-9]+ Testing: /{name=$3} /\[ RUN      \]/{print name}' \
        $log/LastTest.log | sort -u)
    hung=$(awk '/\*\*\*Timeout/{print $4}' $B/x64-ctest.log)
    for name in $(sed 's/^[0-9]*://' $log/LastTestsFailed.log); do
        if echo "$ran" | grep -qxF "$name" && ! echo "$hung" | grep -qxF "$name"; then
            status=1
        else
            echo "== $name never started or hung: once more"
            ctest --test-dir $B/x64 --timeout 120 --output-on-failure -R "^$name\$" || status=1
        fi
    done
fi

echo "== make setup with an apt that cannot fetch every index"
sh tests/tools/setup_apt.sh || status=1

echo "== mkpackage natively and as a Windows program"
sh tests/tools/mkpackage_windows.sh $B || status=1

echo "== a signed package"
sh tests/tools/signing.sh $B || status=1

wine_env_stop

if [ -f $B/x86/install.exe ]; then
    echo "== size of $B/x86/install.exe: $(stat -c %s $B/x86/install.exe) bytes"
fi
exit $status
