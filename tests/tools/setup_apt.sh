#!/bin/sh
# tools/setup.sh against an apt whose answers are chosen here (commands of
# the same names first on PATH): an index that cannot be fetched does not
# stop the install; a failed install stops setup with apt's own reason.
# usage: tests/tools/setup_apt.sh
set -u
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir "$WORK/bin"
# Every package missing, the locale present, run as root.
printf '#!/bin/sh\nexit 1\n' >"$WORK/bin/dpkg-query"
printf '#!/bin/sh\necho ja_JP.utf8\n' >"$WORK/bin/locale"
printf '#!/bin/sh\necho 0\n' >"$WORK/bin/id"
cat >"$WORK/bin/apt-get" <<'APT'
#!/bin/sh
echo "$*" >>"$WORK/calls"
case "$*" in
*update*)
    echo "E: Failed to fetch http://mirror/dists/bookworm/main/binary-i386/Packages  404" >&2
    exit 100 ;;
*install*)
    if [ -n "${INSTALL_FAILS:-}" ]; then
        echo "E: Unable to locate package wine64" >&2
        exit 100
    fi
    exit 0 ;;
esac
APT
chmod +x "$WORK/bin/"*
export WORK

# 1. update fails, install succeeds: setup succeeds after installing.
PATH="$WORK/bin:$PATH" sh tools/setup.sh >"$WORK/out" 2>"$WORK/err"
status=$?
[ $status = 0 ] || fail "setup gave up after a failed update (status $status): $(cat "$WORK/err")"
grep -q "install -y" "$WORK/calls" 2>/dev/null || fail "the install was never tried"

# 2. the install fails: setup fails and says why.
rm -f "$WORK/calls"
INSTALL_FAILS=1 PATH="$WORK/bin:$PATH" sh tools/setup.sh >"$WORK/out" 2>"$WORK/err"
status=$?
[ $status != 0 ] || fail "setup succeeded although the install failed"
grep -q "Unable to locate package wine64" "$WORK/err" || fail "apt's reason is not shown: $(cat "$WORK/err")"

[ $failures = 0 ] && echo "setup_apt: ok"
exit $((failures != 0))
