#!/usr/bin/env bash
# Faults underneath, on real file systems in a private mount namespace: a full SRT folder, a
# full processed folder (small tmpfs mounts), a read-only processed folder (read-only bind
# mount), the watch folder vanishing and coming back, and the log file's folder missing.
# Each is logged as designed, nothing is lost, and capsel converts again once it is gone.
#   faults_test.sh CAPSEL CAPSEL_GENERATE
set -euo pipefail
if [ -z "${CAPSEL_IN_NAMESPACE:-}" ]; then
  command -v unshare >/dev/null || { echo "skipped: no unshare"; exit 77; }
  if ! unshare -rm true 2>/dev/null; then echo "skipped: no user and mount namespaces here"; exit 77; fi
  CAPSEL_IN_NAMESPACE=1 exec unshare -rm "$0" "$@"
fi
capsel=$(realpath "$1")
generate=$(realpath "$2")
work=$(mktemp -d /var/tmp/capsel-faults.XXXXXX)
trap 'cd /; umount -R "$work"/* 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; [ -f "$work/last.log" ] && cut -c22- "$work/last.log"; exit 1; }
cd "$work"
mkdir -p in out done docs
"$generate" docs 3 1000 d 5   # each document about 300 kB, its SRT about 100 kB
write_settings() {
  printf '[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=%s\nLogfileName=%s\n[Processing]\nMinFileAge=0\n' \
    "${1:-done}" "${2:-capsel.log}" >capsel.ini
}
once() { "$capsel" --headless --once --config "$work/capsel.ini" >"$work/last.log" 2>&1 || true; }
logged() { cut -c22- "$work/last.log" | grep -qxF -- "$1"; }
write_settings
faults=0

# 1. The SRT folder is full.
mount -t tmpfs -o size=64k tmpfs out
cp docs/doc000001.xml in/a.xml
once
logged "---- Error writing SRT file!" || fail "full SRT folder: no write error"
logged "---- ERROR: File Error (maybe missing write permissions?)" || fail "full SRT folder: no File Error line"
[ -z "$(ls -A out)" ] || fail "full SRT folder: something was left in it: $(ls -A out)"
cmp -s done/a.xml docs/doc000001.xml || fail "full SRT folder: the input was lost"
umount out
cp docs/doc000002.xml in/b.xml
once
[ -s out/b.srt ] || fail "after the full SRT folder: nothing converted"
faults=$((faults + 1))

# 2. The processed folder is full (another file system, so the move is a copy).
rm -rf out/* done/*
mount -t tmpfs -o size=64k tmpfs done
cp docs/doc000001.xml in/c.xml
once
logged "---- Error moving XML file to done/" || fail "full processed folder: no move error"
cmp -s in/c.xml docs/doc000001.xml || fail "full processed folder: the input is not whole in the watch folder"
[ -z "$(ls -A done)" ] || fail "full processed folder: a partial copy is left: $(ls -A done)"
mount -o remount,size=4m done
once
cmp -s done/c.xml docs/doc000001.xml || fail "after the full processed folder: not moved"
[ ! -e in/c.xml ] || fail "after the full processed folder: input still in the watch folder"
umount done
faults=$((faults + 1))

# 3. The processed folder is read-only.
rm -rf out/* done/*
mount --bind done done && mount -o remount,bind,ro done
cp docs/doc000003.xml in/d.xml
once
logged "---- Error moving XML file to done/" || fail "read-only processed folder: no move error"
cmp -s in/d.xml docs/doc000003.xml || fail "read-only processed folder: input not kept"
umount done
once
cmp -s done/d.xml docs/doc000003.xml || fail "after the read-only processed folder: not moved"
faults=$((faults + 1))

# 4. The watch folder vanishes and comes back.
rm -rf in
once
cut -c22- last.log | grep -q "ERROR" && fail "missing watch folder: an error was logged"
mkdir in && cp docs/doc000001.xml in/e.xml
once
[ -s out/e.srt ] || fail "watch folder back: nothing converted"
faults=$((faults + 1))

# 5. The log file's folder is missing.
write_settings done logs/capsel.log
cp docs/doc000002.xml in/f.xml
once
[ -s out/f.srt ] || fail "missing log folder: not converted"
logged "Successfully processed f.xml." || fail "missing log folder: activity lines stopped"
mkdir logs && cp docs/doc000003.xml in/g.xml
once
grep -q "Successfully processed g.xml." logs/capsel.log || fail "log folder back: no lines in the file"
faults=$((faults + 1))

echo "faults test passed: $faults faults injected, nothing lost"
