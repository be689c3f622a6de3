#!/bin/bash
# Installs the build into a scratch prefix and runs the installed pelindra-track from there:
# it draws with the plugin it finds from its own location; without the plugin, or with a
# damaged one, drawing and the links fail with a message, and every other run still works.
set -euo pipefail
build_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
tool=$scratch/prefix/bin/pelindra-track
plugin=$(find "$scratch/prefix" -name pelindra-track-plugin.so)
[[ $plugin == "$scratch"/prefix/lib*/pelindra/pelindra-track-plugin.so ]] ||
    fail "plugin installed at '$plugin'"

cd "$scratch"
export XDG_CONFIG_HOME=$scratch/config HOME=$scratch LC_ALL=C.UTF-8
track=(--settings none.ini --motion 12 --pa 35 --interval 15 --pixel-size 1.8 --total-time 1.5
    --mount gem --side east)
first='15 -1.0 -1.4'

"$tool" "${track[@]}" --plot path.svg || fail "--plot failed where installed"
head -c 5 path.svg | grep -q '<?xml' || fail "--plot wrote no drawing"

# Without the plugin: a message naming the file and what asked for it, status 1, nothing
# written.
mv "$plugin" "$scratch/kept.so"
for option in --plot --phd2 --indi; do
    status=0
    "$tool" "${track[@]}" "$option" missing.svg >out.txt 2>err.txt || status=$?
    [ "$status" = 1 ] || fail "$option without the plugin ended with $status, not 1"
    [ "$(cat err.txt)" = "pelindra-track: $option needs $plugin, which is missing; install Pelindra again" ] ||
        fail "$option without the plugin said: $(cat err.txt)"
    [ ! -s out.txt ] && [ ! -e missing.svg ] || fail "$option without the plugin wrote something"
done
# Everything else needs no plugin.
[ "$("$tool" --version)" = "Pelindra Track File Generator 1.0" ] || fail "--version without the plugin"
[ "$("$tool" "${track[@]}" | head -n 1 | tr -d '\r')" = "$first" ] || fail "track file without the plugin"

echo "not a library" >"$plugin"
status=0
"$tool" "${track[@]}" --plot damaged.svg >out.txt 2>err.txt || status=$?
[ "$status" = 1 ] || fail "a damaged plugin ended with $status, not 1"
grep -q "^pelindra-track: --plot needs $plugin, which cannot be loaded: " err.txt ||
    fail "a damaged plugin said: $(cat err.txt)"
echo "install ok: $tool, plugin $plugin"
