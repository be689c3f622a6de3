#!/usr/bin/env bash
# The README's pelindra-track examples, run exactly as written after `make run` from a
# fresh settings file, work and print what the README says they print; the man page that
# the README points to renders without a warning.
#
# Usage: readme-examples.sh <source folder> <path to pelindra-track>
set -u

ROOT=$(realpath "${1:?usage: $0 <source folder> <pelindra-track>}")
TOOL=$(realpath "${2:?usage: $0 <source folder> <pelindra-track>}")
TMP=$(mktemp -d "${TMPDIR:-/tmp}/pelindra-readme.XXXXXX")
trap 'rm -rf "$TMP"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

# The examples name build/bin/pelindra-track, relative to the source folder.
mkdir -p "$TMP/build/bin" "$TMP/config" "$TMP/home"
ln -s "$TOOL" "$TMP/build/bin/pelindra-track"
cd "$TMP" || fail "no temporary folder"
export XDG_CONFIG_HOME="$TMP/config" HOME="$TMP/home" LC_ALL=C.UTF-8 LANG=C.UTF-8

# The ephemeris the examples name, covering the time they ask for.
cat >2P.txt <<'TABLE'
Target body name: 2P/Encke                        {source: JPL#K232/1}
Center-site name: GEOCENTRIC
*******************************************************************************
 Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt
******************************************************************
$$SOE
 2026-Dec-07 21:00     08 21 31.08 +02 30 58.7  45.00000 -60.00000
 2026-Dec-07 22:00 *m  08 21 34.08 +02 29 58.7  45.50000 -59.50000
 2026-Dec-07 23:00 *m  08 21 37.11 +02 28 59.2  46.00000 -59.00000
$$EOE
TABLE

grep -E '^    build/bin/pelindra-track ' "$ROOT/README.md" | sed 's/^    //' >commands
[ "$(wc -l <commands)" -ge 2 ] || fail "the README shows fewer than two pelindra-track examples"
promised=$(grep -o 'offsets per interval, `[^`]*`' "$ROOT/README.md" | sed 's/.*`\(.*\)`/\1/')
[ -n "$promised" ] || fail "the README does not say what --offsets prints"

while read -r example; do
    eval "$example" >out 2>err </dev/null || fail "\"$example\" failed: $(cat err)"
    [ -s err ] && fail "\"$example\" complained: $(cat err)"
    case $example in
        *--rate*) grep -qxE '[0-9]+\.[0-9]{6} [0-9]+\.[0-9]{4}' out ||
            fail "\"$example\" printed \"$(cat out)\", not a motion and an angle" ;;
        *--offsets*) [ "$(cat out)" = "$promised" ] ||
            fail "\"$example\" printed \"$(cat out)\", the README says \"$promised\"" ;;
        *" -o "*) file=${example##* -o }
            [ -s "$file" ] || fail "\"$example\" wrote no $file"
            [ "$(grep -c $'\r$' "$file")" = 240 ] || fail "$file does not hold 240 lines" ;;
    esac
done <commands

# The reversal test aims its test tracks along the camera's own axes, which the flags turn;
# aimed at the sky's north and east it ticks the wrong flag once the camera is turned.
grep -q 'a position angle equal to the camera angle' "$ROOT/README.md" &&
    grep -q 'position angle = camera angle + 90' "$ROOT/README.md" ||
    fail "the README's reversal test does not aim along the camera's Y and X axes"

warnings=$(man --warnings -l "$ROOT/data/pelindra-track.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man -l data/pelindra-track.1 warns: $warnings"
echo "ok: $(wc -l <commands) README examples, man page"
