#!/usr/bin/env bash
# Private test mail servers on loopback ports, everything under one directory.
#
#   mailservers.sh start <dir> [--watch PID]   start them, write <dir>/servers.env
#   mailservers.sh stop <dir>                  stop them (safe to repeat, safe after a failed start)
#   mailservers.sh reset <dir>                 expunge every message of every user
#
# What runs:
#   dovecot "main":  IMAP4, POP3 (USER/PASS, no APOP) and LMTP (unix socket)
#   dovecot "apop":  POP3 offering APOP (its greeting carries the timestamp)
#   dovecot "prefixed": IMAP4 whose folders live under the personal namespace prefix
#                    "INBOX." with separator "." (INBOX.Sent), indexes of its own,
#                    without CONDSTORE and QRESYNC
#   smtp_server.py:  SMTP with AUTH LOGIN/PLAIN without TLS, delivering through the main
#                    instance's LMTP; keeps every message's exact bytes in <dir>/smtp-capture
# Both Dovecot instances share one Maildir tree, so mail delivered once is seen by both.
# An SMTP server of our own rather than Postfix: Postfix wants a root-owned queue and
# set-group-id helpers, which makes quick private start/stop fragile in CI.
#
# With --watch PID the servers are stopped once that process is gone, so a test that
# crashes or is killed by a time-out leaves nothing running.
#
# Works as root (login processes as dovenull, internals as dovecot, mail as `mail`) and as
# an ordinary user (everything as that user).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
python=/usr/bin/python3

die() { echo "mailservers: $*" >&2; exit 1; }

usage() { die "usage: $0 start <dir> [--watch PID] | stop <dir> | reset <dir>"; }

# Ports that are free now: bound together so that they differ, then released. Below
# 32768, since the handheld keeps ports as signed 16-bit numbers.
free_ports() {
  "$python" - "$1" <<'EOF'
import random, socket, sys
socks = []
while len(socks) < int(sys.argv[1]):
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", random.randint(20000, 32000)))
        socks.append(s)
    except OSError:
        s.close()
print(" ".join(str(s.getsockname()[1]) for s in socks))
EOF
}

wait_port() {  # port timeout-tenths
  local port=$1 tries=$2
  while (( tries-- > 0 )); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}

# True while a process of the group is alive. Zombies do not count: our servers are
# reparented to init, which may reap them late (or never, in some containers).
group_alive() {  # pgid
  ps -eo pgid=,stat= | awk -v g="$1" '$1 == g && $2 !~ /^Z/ { found = 1 } END { exit !found }'
}

# Stops a server and its process group (the Dovecot master's children share it).
stop_pid() {  # pidfile
  local pidfile=$1 pid tries
  [ -s "$pidfile" ] || return 0
  pid=$(cat "$pidfile")
  [[ "$pid" =~ ^[0-9]+$ ]] || { rm -f "$pidfile"; return 0; }
  # A stale pid file must not take down an unrelated process that reused the number.
  if [ -r "/proc/$pid/cmdline" ] && ! tr '\0' ' ' < "/proc/$pid/cmdline" | grep -qF "$dir"; then
    rm -f "$pidfile"; return 0
  fi
  if group_alive "$pid"; then
    kill -TERM -- "-$pid" 2>/dev/null || true
    tries=50
    while group_alive "$pid" && (( tries-- > 0 )); do sleep 0.05; done
    kill -KILL -- "-$pid" 2>/dev/null || true
  fi
  rm -f "$pidfile"
}

dovecot_conf() {  # instance protocols mechanisms imap-port pop3-port [separator prefix mail-location]
  local separator=${6:-/} prefix=${7:-} location=${8:-'maildir:~/Maildir'}
  sed -e "s|@SEPARATOR@|$separator|g" -e "s|@PREFIX@|$prefix|g" -e "s|@MAIL_LOCATION@|$location|g" \
      -e "s|@DIR@|$dir|g" -e "s|@INSTANCE@|$1|g" -e "s|@PROTOCOLS@|$2|g" \
      -e "s|@MECHANISMS@|$3|g" -e "s|@IMAP_PORT@|$4|g" -e "s|@POP3_PORT@|$5|g" \
      -e "s|@LOGIN_USER@|$login_user|g" -e "s|@INTERNAL_USER@|$internal_user|g" \
      -e "s|@INTERNAL_GROUP@|$internal_group|g" \
      -e "s|@MAIL_UID@|$mail_uid|g" -e "s|@MAIL_GID@|$mail_gid|g" \
      "$here/dovecot.conf.in" > "$dir/$1/dovecot.conf"
}

make_maildir() {  # user
  local md="$dir/mail/$1/Maildir" f
  mkdir -p "$md"/{cur,new,tmp}
  for f in Sent Trash Drafts; do
    mkdir -p "$md/.$f"/{cur,new,tmp}
    : > "$md/.$f/maildirfolder"
  done
  printf 'Sent\nTrash\nDrafts\n' > "$md/subscriptions"
}

cmd_stop() {
  local wpid
  if [ -s "$dir/watch.pid" ]; then
    wpid=$(cat "$dir/watch.pid")
    # The watcher itself runs stop when its process is gone; it must not kill itself.
    if [ "$wpid" != "$$" ] && [[ "$wpid" =~ ^[0-9]+$ ]]; then kill -TERM -- "-$wpid" 2>/dev/null || true; fi
    rm -f "$dir/watch.pid"
  fi
  stop_pid "$dir/smtp.pid"
  stop_pid "$dir/apop/run/master.pid"
  stop_pid "$dir/prefixed/run/master.pid"
  stop_pid "$dir/main/run/master.pid"
}

cmd_start() {
  local watch=""
  while [ $# -gt 0 ]; do
    case $1 in
      --watch) watch=${2:?}; shift 2 ;;
      *) usage ;;
    esac
  done
  command -v dovecot >/dev/null || [ -x /usr/sbin/dovecot ] || die "dovecot is not installed"
  [ -x "$python" ] || die "$python is missing"
  cmd_stop  # leftovers of an earlier run in the same directory
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  # Login and internal processes run under other uids and must reach the sockets.
  chmod 0755 "$dir"

  if [ "$(id -u)" = 0 ]; then
    login_user=dovenull internal_user=dovecot internal_group=dovecot
    mail_uid=$(id -u mail) mail_gid=$(id -g mail)
  else
    login_user=$(id -un) internal_user=$(id -un) internal_group=$(id -gn)
    mail_uid=$(id -u) mail_gid=$(id -g)
  fi

  local user=tess pass=tess-secret user2=tess2 pass2=second-secret
  read -r imap_port pop3_port apop_port smtp_port prefixed_port < <(free_ports 5)

  rm -rf "$dir/main" "$dir/apop" "$dir/prefixed" "$dir/mail" "$dir/smtp-capture"
  mkdir -p "$dir/main" "$dir/apop" "$dir/prefixed" "$dir/smtp-capture"
  : > "$dir/smtp-refuse"
  {
    echo "$user:{PLAIN}$pass:$mail_uid:$mail_gid::$dir/mail/$user::"
    echo "$user2:{PLAIN}$pass2:$mail_uid:$mail_gid::$dir/mail/$user2::"
  } > "$dir/passwd"
  chmod 0644 "$dir/passwd"
  make_maildir "$user"
  make_maildir "$user2"
  chown -R "$mail_uid:$mail_gid" "$dir/mail"

  dovecot_conf main "imap pop3 lmtp" "plain login" "$imap_port" "$pop3_port"
  dovecot_conf apop "pop3" "plain login apop" 0 "$apop_port"
  # Same Maildirs, but indexes and UID lists apart: the two name the folders differently.
  dovecot_conf prefixed "imap" "plain login" "$prefixed_port" 0 . INBOX. \
    "maildir:~/Maildir:INDEX=~/prefixed/index:CONTROL=~/prefixed/control"
  # Dovecot's own list less CONDSTORE and QRESYNC: a server that cannot tell what changed.
  cat >> "$dir/prefixed/dovecot.conf" <<'EOF'
protocol imap {
  imap_capability = IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE SORT SORT=DISPLAY THREAD=REFERENCES THREAD=REFS THREAD=ORDEREDSUBJECT MULTIAPPEND URL-PARTIAL CATENATE UNSELECT CHILDREN NAMESPACE UIDPLUS LIST-EXTENDED I18NLEVEL=1 ESEARCH ESORT SEARCHRES WITHIN CONTEXT=SEARCH LIST-STATUS BINARY MOVE SNIPPET=FUZZY PREVIEW=FUZZY PREVIEW STATUS=SIZE SAVEDATE LITERAL+ NOTIFY SPECIAL-USE
}
EOF
  local inst
  for inst in main apop prefixed; do
    # Its daemons must not hold our caller's output open.
    if ! /usr/sbin/dovecot -c "$dir/$inst/dovecot.conf" </dev/null >"$dir/$inst/start.log" 2>&1; then
      cat "$dir/$inst/start.log" "$dir/$inst/dovecot.log" >&2 2>/dev/null || true
      cmd_stop; die "dovecot ($inst) did not start"
    fi
  done

  setsid "$python" "$here/smtp_server.py" --port "$smtp_port" --passwd "$dir/passwd" \
    --lmtp "$dir/main/run/lmtp" --capture-dir "$dir/smtp-capture" \
    --refuse-file "$dir/smtp-refuse" --ready-file "$dir/smtp.ready" \
    </dev/null >"$dir/smtp.log" 2>&1 &
  echo $! > "$dir/smtp.pid"

  local port
  for port in "$imap_port" "$pop3_port" "$apop_port" "$smtp_port" "$prefixed_port"; do
    if ! wait_port "$port" 100; then
      cat "$dir"/main/dovecot.log "$dir"/apop/dovecot.log "$dir/smtp.log" >&2 2>/dev/null || true
      cmd_stop; die "nothing listens on port $port"
    fi
  done

  cat > "$dir/servers.env" <<EOF
HOST=127.0.0.1
DOMAIN=tess.test
IMAP_PORT=$imap_port
IMAP_PREFIXED_PORT=$prefixed_port
POP3_PORT=$pop3_port
POP3_APOP_PORT=$apop_port
SMTP_PORT=$smtp_port
USER=$user
PASS=$pass
USER2=$user2
PASS2=$pass2
MAILDIR=$dir/mail/$user/Maildir
MAILDIR2=$dir/mail/$user2/Maildir
SMTP_CAPTURE_DIR=$dir/smtp-capture
SMTP_REFUSE_FILE=$dir/smtp-refuse
DOVECOT_CONF=$dir/main/dovecot.conf
EOF

  if [ -n "$watch" ]; then
    setsid bash -c 'while kill -0 "$1" 2>/dev/null && [ -d "$3" ]; do sleep 1; done; exec "$2" stop "$3"' \
      watch "$watch" "$here/mailservers.sh" "$dir" </dev/null >/dev/null 2>&1 &
    echo $! > "$dir/watch.pid"
  fi
}

cmd_reset() {
  [ -s "$dir/main/dovecot.conf" ] || die "not started in $dir"
  local u
  for u in $(cut -d: -f1 "$dir/passwd"); do
    doveadm -c "$dir/main/dovecot.conf" expunge -u "$u" mailbox '*' all
  done
  find "$dir/smtp-capture" -type f -delete
  : > "$dir/smtp-refuse"
}

[ $# -ge 2 ] || usage
action=$1 dir=$2
shift 2
case $action in
  start) cmd_start "$@" ;;
  stop) [ -d "$dir" ] && cmd_stop; exit 0 ;;
  reset) cmd_reset ;;
  *) usage ;;
esac
