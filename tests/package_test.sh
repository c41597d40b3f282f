#!/usr/bin/env bash
# Builds the Debian package from the build folder $1 and checks what it holds.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$build"
cpack -G DEB -B "$work" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/capsel_*.deb)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/capsel ./usr/lib/systemd/system/capsel.service \
            ./usr/share/applications/capsel.desktop ./etc/capsel/capsel.ini \
            ./usr/share/icons/hicolor/48x48/apps/capsel.png; do
  grep -q " $path\$" <<<"$contents" || { echo "missing from the package: $path"; echo "$contents"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q libqt6widgets6 <<<"$depends" || { echo "unexpected Depends: $depends"; exit 1; }
dpkg-deb -e "$deb" "$work/control"
[ -x "$work/control/postinst" ] || { echo "no postinst"; exit 1; }
grep -qx /etc/capsel/capsel.ini "$work/control/conffiles" || { echo "settings not a conffile"; exit 1; }
echo "package ok: $(basename "$deb")"
