#!/usr/bin/env bash
# Builds the Debian packages from the build folder $1 and checks what they hold: the files of
# capsel and of capsel-window, their dependencies against the libraries their files need, the
# maintainer scripts, Debian's own checker, the manual page, both service units (valid and
# locked down); runs capsel from its package alone, then with the window from both, and then
# the services from the package (service_test.sh).
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$build"
cpack -G DEB -B "$work" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/capsel_*.deb) window=$(ls "$work"/capsel-window_*.deb)
# holds DEB COUNT PATH...: the package holds each path COUNT times (1 or 0).
holds() { local c=$(dpkg-deb -c "$1") p; for p in "${@:3}"; do [ "$(grep -c " $p\$" <<<"$c")" = "$2" ] || fail "$1 holds $p not $2 times"; done; }
module=./usr/lib/x86_64-linux-gnu/capsel/capsel-window.so
holds "$deb" 1 ./usr/bin/capsel ./lib/systemd/system/capsel.service ./lib/systemd/system/capsel@.service ./etc/capsel/capsel.ini \
      ./usr/share/man/man1/capsel.1.gz ./usr/share/doc/capsel/copyright ./usr/share/doc/capsel/changelog.gz
holds "$window" 1 "$module" ./usr/share/applications/capsel.desktop ./usr/share/icons/hicolor/48x48/apps/capsel.png \
      ./usr/share/doc/capsel-window/copyright
holds "$deb" 0 "$module" ./usr/share/applications/capsel.desktop && holds "$window" 0 ./usr/bin/capsel ./etc/capsel/capsel.ini
[[ "$(dpkg-deb -f "$window" Depends)" == "capsel (= $(dpkg-deb -f "$deb" Version)), "* ]] || fail "capsel-window does not depend on capsel of its version"

# Every library a file NEEDs belongs to a package its Depends names, so installing the package
# brings it; capsel names none of Qt's window libraries, so it installs and runs without them.
# The library's owners come from this machine's packages (dpkg -S).
root=$work/root wroot=$work/wroot
dpkg-deb -x "$deb" "$root" && dpkg-deb -x "$window" "$wroot"
for pair in "$deb $root/usr/bin/capsel" "$window $wroot${module#.}"; do
  read -r package file <<<"$pair"
  names=$(dpkg-deb -f "$package" Depends | tr ',|' '\n\n' | sed 's/(.*//; s/ //g')
  for lib in $(objdump -p "$file" | awk '$1 == "NEEDED" { print $2 }'); do
    grep -qxF -f <(dpkg -S "*/$lib" | sed 's/: .*//; s/, /\n/g; s/:[a-z0-9]*//g') <<<"$names" ||
      fail "$(basename "$package") needs $lib, which no package in its Depends holds: $names"
  done
done
! grep -E 'libqt6(gui|widgets)|qpa' <<<"$(dpkg-deb -f "$deb" Depends)" || fail "capsel depends on Qt's window libraries"
dpkg-deb -e "$deb" "$work/control"
[ -x "$work/control/postinst" ] || fail "no postinst"
grep -qx /etc/capsel/capsel.ini "$work/control/conffiles" || fail "settings not a conffile"

# Debian's checker: no error and no warning (informational tags are allowed).
lintian --fail-on error,warning "$deb" "$window" > "$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
! grep -E '^[EW]: ' "$work/lintian.log" || fail "lintian reports the lines above"

# The executable finds its window module where capsel-window puts it.
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

# capsel from its package alone, its module nowhere: it checks its settings and converts.
once=$work/once && mkdir "$once" && cp "$here/data/cases/lines-two-spans-two-lines.xml" "$once/doc.xml"
printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=.\nOutPathSrt=.\nOutPathXml=<DELETE>\nLogfileName=capsel.log\n[Processing]\nMinFileAge=0\n' >"$once/capsel.ini"
"$root/usr/bin/capsel" --check --config "$once/capsel.ini" >/dev/null && "$root/usr/bin/capsel" --once --config "$once/capsel.ini" >/dev/null &&
  cmp -s "$once/doc.srt" "$here/data/cases/lines-two-spans-two-lines.srt" || fail "capsel --check or --once from the package"
# The window from both packages, the module beside the executable as in a build folder: they
# fit, so the window runs, and writes its lines to the log file only, none to standard output.
mkdir "$work/both" && cp "$root/usr/bin/capsel" "$wroot${module#.}" "$work/both/"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work timeout 100 "$work/both/capsel" --config "$once/capsel.ini" >"$work/window.out" 2>&1 &
for _ in $(seq 300); do [ "$(grep -c "capsel initialized" "$once/capsel.log")" = 2 ] && break; sleep 0.1; done
kill $! && wait $! || true
[ "$(grep -c "capsel initialized" "$once/capsel.log")" = 2 ] && ! grep "headless\|Initializing" "$work/window.out" || fail "the window from both packages did not run"

status=0
"$here/service_test.sh" "$root" "$here/data/cases/profiles-scf-3-ebu-tt-smpte-25-fps.xml" || status=$?
[ "$status" = 0 ] || [ "$status" = 77 ] || exit "$status"
echo "packages ok: $(basename "$deb") $(basename "$window")"
