#!/bin/bash
# Builds the Debian package from the configured build tree, unpacks it into a scratch
# root and runs the packaged pelindra-track from there.
set -euo pipefail
build_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build_dir" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/pelindra_*.deb)
dpkg -x "$deb" "$scratch/root"

# cfitsio is loaded on demand, not linked: the package must still ask for it.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libcfitsio* ]] || { echo "the package does not depend on cfitsio: $depends"; exit 1; }

for f in usr/bin/pelindra usr/bin/pelindra-track \
    usr/share/applications/org.pelindra.Pelindra.desktop \
    usr/share/metainfo/org.pelindra.Pelindra.metainfo.xml \
    usr/share/icons/hicolor/32x32/apps/org.pelindra.Pelindra.png \
    usr/share/man/man1/pelindra-track.1; do
    [ -e "$scratch/root/$f" ] || { echo "missing from the package: $f"; exit 1; }
done

version=$("$scratch/root/usr/bin/pelindra-track" --version)
[ "$version" = "Pelindra Track File Generator 1.0" ] || { echo "unexpected: $version"; exit 1; }

# Drawing comes from the plugin, found beside the packaged program's own place.
plugin=$(cd "$scratch/root" && find usr -name pelindra-track-plugin.so)
[[ $plugin == usr/lib*/pelindra/pelindra-track-plugin.so ]] ||
    { echo "plugin packaged at '$plugin'"; exit 1; }
(cd "$scratch" && XDG_CONFIG_HOME="$scratch/config" HOME="$scratch" \
    root/usr/bin/pelindra-track --settings none.ini --motion 12 --pa 35 --plot path.png)
[ "$(head -c 4 "$scratch/path.png" | tail -c 3)" = PNG ] || { echo "the packaged --plot drew nothing"; exit 1; }
echo "package ok: $(basename "$deb"), $version, $plugin"
