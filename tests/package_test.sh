#!/usr/bin/env bash
# Builds the Debian package from the build folder $1 and checks what it holds: the files, the
# maintainer scripts, Debian's own checker, the manual page, both service units (valid and
# locked down), and then runs the services from the package (service_test.sh).
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$build"
cpack -G DEB -B "$work" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/capsel_*.deb)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/capsel ./usr/lib/x86_64-linux-gnu/capsel/capsel-window.so ./lib/systemd/system/capsel.service ./lib/systemd/system/capsel@.service \
            ./usr/share/applications/capsel.desktop ./etc/capsel/capsel.ini \
            ./usr/share/icons/hicolor/48x48/apps/capsel.png ./usr/share/man/man1/capsel.1.gz \
            ./usr/share/doc/capsel/copyright ./usr/share/doc/capsel/changelog.gz; do
  grep -q " $path\$" <<<"$contents" || fail "missing from the package: $path"$'\n'"$contents"
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q libqt6widgets6 <<<"$depends" || fail "unexpected Depends: $depends"
dpkg-deb -e "$deb" "$work/control"
[ -x "$work/control/postinst" ] || fail "no postinst"
grep -qx /etc/capsel/capsel.ini "$work/control/conffiles" || fail "settings not a conffile"

# Debian's checker: no error and no warning (informational tags are allowed).
lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
! grep -E '^[EW]: ' "$work/lintian.log" || fail "lintian reports the lines above"

root=$work/root
dpkg-deb -x "$deb" "$root"
# The executable leaves the window's libraries to its module, and finds that where it is.
! readelf -d "$root/usr/bin/capsel" | grep -E 'NEEDED.*Qt6(Gui|Widgets)' || fail "capsel links the window's libraries"
grep -qF /usr/lib/x86_64-linux-gnu/capsel "$root/usr/bin/capsel" || fail "capsel looks for its window elsewhere"
man -l --warnings "$root/usr/share/man/man1/capsel.1.gz" > "$work/man.txt" 2> "$work/man.err" || fail "man"
[ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "the manual page renders with warnings"; }
grep -q "SIGHUP" "$work/man.txt" || fail "the manual page lacks its SIGNALS section"

# Both units are valid and rated 2.0 or less. verify looks for the binary and for the manual
# page named in Documentation=; both are taken from the unpacked package.
for unit in capsel.service capsel@.service; do
  name=${unit/@/@verify}
  sed "s|=/usr/bin/capsel |=$root/usr/bin/capsel |" "$root/lib/systemd/system/$unit" > "$work/$name"
  MANPATH=$root/usr/share/man systemd-analyze verify "$work/$name" > "$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; fail "systemd-analyze verify $unit"; }
  [ ! -s "$work/verify.log" ] || { cat "$work/verify.log"; fail "systemd-analyze verify $unit complains"; }
  systemd-analyze security --offline=true --threshold=20 --no-pager "$work/$name" > "$work/security.log" 2>&1 ||
    { cat "$work/security.log"; fail "$unit is rated above 2.0"; }
  grep "Overall exposure" "$work/security.log"
done

status=0
"$here/service_test.sh" "$root" "$here/data/cases/profiles-scf-3-ebu-tt-smpte-25-fps.xml" || status=$?
[ "$status" = 0 ] || [ "$status" = 77 ] || exit "$status"
echo "package ok: $(basename "$deb")"
