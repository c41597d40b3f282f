#!/usr/bin/env bash
# Runs the packaged services as they are shipped: capsel.service and two instances of
# capsel@.service at once, each on its own folders, set up with the README's three commands.
# Each must convert its own document and touch nothing of the others'. A folder outside the
# writable ones must stay out of reach until the README's drop-in names it.
#   service_test.sh ROOT DOCUMENT   (ROOT: the package unpacked with dpkg-deb -x)
#
# The units run under a systemd manager, so every sandbox setting of the unit is applied by
# systemd itself. Where systemd is not PID 1 (containers, CI), a user-mode manager run by
# root applies the same settings; it is started inside a private mount namespace whose
# overlays over /etc, /usr/bin and /var/lib receive the package, the user capsel and the
# folders, so the machine is left as it was. In user mode StateDirectory= lies under
# $XDG_CONFIG_HOME, which is set to /var/lib so the folders are the real ones. A journald of
# the namespace's own takes the services' output, so their priorities can be read back.
set -euo pipefail
root=$(realpath "$1")
document=$(realpath "$2")
fail() {
  echo "FAIL: $*"
  systemctl --user status --no-pager capsel.service 'capsel@*' 2>&1 || true
  [ ! -f /mnt/work/manager.log ] || cat /mnt/work/manager.log
  exit 1
}

if [ "${CAPSEL_IN_NAMESPACE:-}" != 1 ]; then
  why=""
  [ "$(id -u)" = 0 ] || why="not root"
  [ -n "$why" ] || command -v unshare >/dev/null || why="no unshare"
  [ -n "$why" ] || grep -qw overlay /proc/filesystems || modprobe overlay 2>/dev/null || why="no overlayfs"
  [ -n "$why" ] || [ -x /lib/systemd/systemd ] || why="no systemd installed"
  if [ -n "$why" ]; then
    echo "SKIP: the services cannot run in their sandbox here ($why)"
    exit 77
  fi
  CAPSEL_IN_NAMESPACE=1 exec unshare --mount --propagation private "$0" "$@"
fi

# Everything lives in memory: the layers, the manager's folders and a folder outside the
# units' reach (/mnt/elsewhere). /tmp and /var/tmp become private too, as systemd puts the
# services' private temporary folders there.
mount -t tmpfs tmpfs /mnt
work=/mnt/work
mkdir -p "$work/package" /mnt/elsewhere
cp "$root/usr/bin/capsel" "$root/etc/capsel/capsel.ini" "$root/lib/systemd/system/capsel.service" \
   "$root/lib/systemd/system/capsel@.service" "$work/package/"
cp "$document" "$work/document.xml" && document=$work/document.xml
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /var/tmp
mgr="" console="" journald=""
trap 'for pid in $mgr $console $journald; do { kill "$pid"; wait "$pid"; } 2>/dev/null || true; done' EXIT

for dir in /etc /usr/bin /var/lib; do
  layer="$work/layer$(tr / _ <<<"$dir")"
  mkdir -p "$layer/upper" "$layer/work"
  mount -t overlay overlay -o "lowerdir=$dir,upperdir=$layer/upper,workdir=$layer/work" "$dir"
done
mount -t tmpfs tmpfs /run
mkdir -p /run/systemd/system  # lets systemd --user start where systemd is not PID 1
# A journald of the namespace's own: started by hand (not socket-activated), it makes its
# sockets in /run/systemd/journal, so the units' StandardOutput=journal reaches it. It keeps
# the journal in /run/log/journal and leaves out the kernel's messages, so what it holds
# is this run's.
mkdir -p /etc/systemd/journald.conf.d
printf '[Journal]\nStorage=volatile\nReadKMsg=no\n' >/etc/systemd/journald.conf.d/capsel-test.conf
/lib/systemd/systemd-journald >"$work/journald.log" 2>&1 &
journald=$!
for _ in $(seq 100); do [ -S /run/systemd/journal/stdout ] && break; sleep 0.1; done
[ -S /run/systemd/journal/stdout ] || fail "journald did not start: $(cat "$work/journald.log")"

cp "$work/package/capsel" /usr/bin/capsel
mkdir -p /etc/capsel && cp "$work/package/capsel.ini" /etc/capsel/
getent passwd capsel >/dev/null || useradd --system --user-group --no-create-home --home-dir /var/lib/capsel capsel
chown capsel: /mnt/elsewhere
# A user-mode manager keeps StateDirectory= in $XDG_CONFIG_HOME, its units in
# $XDG_CONFIG_HOME/systemd/user.
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=/var/lib
units=$XDG_CONFIG_HOME/systemd/user
# The services run as capsel and tell the manager they are ready through its notification
# socket, $XDG_RUNTIME_DIR/systemd/notify. The system manager keeps that socket in
# /run/systemd (0755) and, running with umask 0, makes it writable by all, so every service
# user can reach it. A user-mode manager made the usual way (runtime folder 0700, umask 0022)
# would shut capsel out: it could not send READY=1 and every start would time out. So the
# runtime folder is 0755 and the manager runs with umask 0, as the system manager does.
mkdir -p -m 0755 "$XDG_RUNTIME_DIR" && mkdir -p "$units"
cp "$work/package/capsel.service" "$work/package/capsel@.service" "$units/"

# The manager writes its log to /dev/console, the machine's console; here that is a terminal
# whose output goes to $work/manager.log.
script -qfc "tty >$work/console; exec sleep infinity" "$work/manager.log" </dev/null >/dev/null 2>&1 &
console=$!
for _ in $(seq 100); do [ -s "$work/console" ] && break; sleep 0.1; done
[ -s "$work/console" ] || fail "no terminal for the manager's log"
mount --bind "$(cat "$work/console")" /dev/console
(umask 0 && exec /lib/systemd/systemd --user --log-target=console --log-level=warning) >/dev/console 2>&1 &
mgr=$!
for _ in $(seq 300); do [ -S "$XDG_RUNTIME_DIR/systemd/private" ] && break; sleep 0.1; done
systemctl --user is-system-running --wait >/dev/null 2>&1 || true
ctl() { systemctl --user "$@" || fail "systemctl $*"; }

# The README's three commands (enable --now is start here: a user manager has no boot).
for name in news edge; do
  cp /etc/capsel/capsel.ini "/etc/capsel/$name.ini"
  sed -i "s|capsel/|capsel/$name/|" "/etc/capsel/$name.ini"
done
# The third instance writes outside the unit's folders.
sed -i 's|^OutPathSrt=.*|OutPathSrt=/mnt/elsewhere|' /etc/capsel/edge.ini
ctl start capsel.service capsel@news.service capsel@edge.service
# Type=notify: start returns once capsel says it is ready, and its status line is there.
[[ "$(systemctl --user show -P StatusText capsel.service)" == "Watching /var/lib/capsel/in: 0 converted, 0 failed since start" ]] ||
  fail "capsel.service is active before it is ready"

[ "$(systemctl --user show -P SyslogIdentifier capsel@news.service)" = capsel-news ] ||
  fail "capsel@news does not log as capsel-news"
reference=$work/reference.srt
mkdir -p "$work/once" && cp "$document" "$work/once/doc.xml"
printf '[General]\nVersion=1\n[Folders]\nInPath=.\nOutPathSrt=.\nOutPathXml=<DELETE>\n[Processing]\nMinFileAge=0\n' >"$work/once/capsel.ini"
/usr/bin/capsel --once --config "$work/once/capsel.ini" >/dev/null || fail "reference conversion"
cp "$work/once/doc.srt" "$reference"

wait_for() { for _ in $(seq 300); do [ -e "$1" ] && return 0; sleep 0.1; done; return 1; }
# Documents a minute old, so the settle rule takes them at once. Start returns before the
# service has its folders: they are made as it starts.
drop() {
  wait_for "$(dirname "$1")" || fail "no folder $(dirname "$1")"
  cp "$document" "$1" && touch -d '-1 minute' "$1"
}
drop /var/lib/capsel/in/main.xml
drop /var/lib/capsel/news/in/news.xml
drop /var/lib/capsel/edge/in/edge.xml

for pair in "/var/lib/capsel/ main" "/var/lib/capsel/news/ news"; do
  read -r dir name <<<"$pair"
  wait_for "$dir/done/$name.xml" || fail "$name.xml was not taken"
  cmp -s "$dir/out/$name.srt" "$reference" || fail "$dir/out/$name.srt differs from the unsandboxed conversion"
  [ "$(find "$dir/in" "$dir/out" "$dir/done" -type f | wc -l)" = 2 ] ||
    fail "$dir holds files that are not its own: $(ls -R "$dir")"
done
# The process runs as capsel with no capabilities, no new privileges and a system-call filter.
status=$(cat "/proc/$(systemctl --user show -P MainPID capsel@news.service)/status")
for want in "Uid:"$'\t'"$(id -u capsel)" "NoNewPrivs:"$'\t'1 "Seccomp:"$'\t'2 "CapEff:"$'\t'0000000000000000; do
  grep -q "^$want" <<<"$status" || fail "capsel@news runs without $want"
done
[ "$(systemctl --user show -P StandardOutput capsel@news.service)" = journal ] &&
  tr '\0' '\n' <"/proc/$(systemctl --user show -P MainPID capsel@news.service)/environ" | grep -q '^JOURNAL_STREAM=' ||
  fail "capsel@news does not write to the journal"
# systemctl reload: the same process reads its settings again and writes where they now say.
pid=$(systemctl --user show -P MainPID capsel@news.service)
install -d -o capsel -g capsel /var/lib/capsel/news/out2
sed -i 's|^OutPathSrt=.*|OutPathSrt=/var/lib/capsel/news/out2|' /etc/capsel/news.ini
ctl reload capsel@news.service
sleep 1
drop /var/lib/capsel/news/in/news2.xml
wait_for /var/lib/capsel/news/done/news2.xml || fail "news2.xml was not taken after the reload"
cmp -s /var/lib/capsel/news/out2/news2.srt "$reference" || fail "the reload did not move the SRT output"
[ "$(systemctl --user show -P MainPID capsel@news.service)" = "$pid" ] || fail "reload restarted capsel@news"
echo '<tt' >/var/lib/capsel/news/in/bad.xml && wait_for /var/lib/capsel/news/done/bad.xml && sleep 3
[[ "$(systemctl --user show -P StatusText capsel@news.service)" == "Watching /var/lib/capsel/news/in: 2 converted, 1 failed since start; last: bad.xml at "* ]] ||
  fail "capsel@news status: $(systemctl --user show -P StatusText capsel@news.service)"
# A settings file that fails the check is refused, and the old settings stay in force.
sed -i 's|^OutPathSrt=.*|OutPathSrt=/var/lib/capsel/news/gone|' /etc/capsel/news.ini
! systemctl --user reload capsel@news.service 2>/dev/null || fail "a broken settings file was reloaded"
drop /var/lib/capsel/news/in/news3.xml && wait_for /var/lib/capsel/news/done/news3.xml && cmp -s /var/lib/capsel/news/out2/news3.srt "$reference" ||
  fail "the refused reload changed the settings"
wait_for /var/lib/capsel/edge/done/edge.xml || fail "edge.xml was not taken"
[ -z "$(ls /mnt/elsewhere)" ] || fail "the sandbox let capsel write to /mnt/elsewhere"

# The README's drop-in opens the folder.
mkdir -p "$units/capsel@edge.service.d"
printf '[Service]\nReadWritePaths=/mnt/elsewhere\nWatchdogSec=2\n' >"$units/capsel@edge.service.d/folders.conf"
ctl daemon-reload
ctl restart capsel@edge.service
drop /var/lib/capsel/edge/in/edge2.xml
wait_for /var/lib/capsel/edge/done/edge2.xml || fail "edge2.xml was not taken"
cmp -s /mnt/elsewhere/edge2.srt "$reference" || fail "the drop-in did not make /mnt/elsewhere writable"
# A capsel that stops answering is killed by the watchdog and started again.
kill -STOP "$(systemctl --user show -P MainPID capsel@edge.service)"
for _ in $(seq 200); do [ "$(systemctl --user show -P NRestarts capsel@edge.service)" = 1 ] && break; sleep 0.1; done
[ "$(systemctl --user show -P NRestarts capsel@edge.service)" = 1 ] || fail "the watchdog did not restart a stopped capsel@edge"

ctl stop capsel.service capsel@news.service capsel@edge.service
for unit in capsel.service capsel@news.service capsel@edge.service; do
  [ "$(systemctl --user show -P Result "$unit")" = success ] || fail "$unit did not end cleanly"
done
# The journal ranks capsel's lines: -p warning shows the failure of bad.xml and its reason,
# and none of the ordinary lines the whole journal holds.
journalctl --sync 2>/dev/null || true
journal() { journalctl -D /run/log/journal --no-pager -o cat "$@"; }
warnings=$(journal -p warning)
echo "journalctl -p warning:"$'\n'"$warnings"
grep -q "Processing news.xml\.\.\." <<<"$(journal -t capsel-news)" || fail "the journal lacks capsel@news's lines"
grep -A1 "  Error while processing XML file\. Skipping file\.\$" <<<"$warnings" | grep -q "  ---- XML error in line 2" ||
  fail "journalctl -p warning lacks the failure of bad.xml and its reason"
! grep -E "Processing .*\.\.\.|capsel initialized|Moving .* to " <<<"$warnings" ||
  fail "journalctl -p warning shows the lines above, which are not failures or warnings"
echo "services ok: capsel.service and capsel@news, @edge said they were ready and converted in their sandbox, each only its own files; capsel@news reloaded its settings, refused a broken file and showed its counts; the watchdog restarted a stopped capsel@edge; the journal shows only failures and warnings at -p warning"
