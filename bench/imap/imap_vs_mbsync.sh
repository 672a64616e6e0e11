#!/usr/bin/env bash
# A first synchronisation of an IMAP INBOX of 5,000 messages (every seventh with an
# attachment) from a private Dovecot: `tallyhop sync` into the emulated handheld against
# mbsync pulling the same INBOX into an empty Maildir, same servers, same run. Run by hand:
#
#   bench/imap/imap_vs_mbsync.sh [BUILD_DIR]     (MESSAGES=N to change the size, KEEP=1)
#
# Each tool runs under /usr/bin/time -v: wall time, CPU (user + system) and peak resident
# memory. Ratios are tallyhop / mbsync (at most 1.00: tallyhop is no dearer).
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/$build/bin"
servers_sh="$root/tests/servers/mailservers.sh"
sample_mail="$root/scripts/sample_mail.py"
messages=${MESSAGES:-5000}

[ -x "$bin/tallyhop" ] || { echo "imap bench: $bin/tallyhop is missing; build first" >&2; exit 1; }
[ -x /usr/bin/mbsync ] || { echo "imap bench: /usr/bin/mbsync is missing (package isync)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "imap bench: /usr/bin/time is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/tessaline-imapbench-XXXXXX)
# Dovecot's helpers run as other users and must reach the servers' directory.
chmod 0755 "$work"
export TESSALINE_HOME="$work/home"
servers="$work/servers"
finish() {
  bash "$servers_sh" stop "$servers" >/dev/null 2>&1 || true
  if [ "${KEEP:-0}" = 1 ]; then echo "(kept: $work)"; else rm -rf "$work"; fi
}
trap finish EXIT

bash "$servers_sh" start "$servers" --watch $$ >"$work/servers.log" 2>&1 || { cat "$work/servers.log" >&2; exit 1; }
# shellcheck disable=SC1091
. "$servers/servers.env"
owner=$(awk -F: -v u="$USER" '$1 == u { print $3 ":" $4 }' "$servers/passwd")
doveadm_() { doveadm -c "$DOVECOT_CONF" "$@"; }
count() { doveadm_ mailbox status -u "$USER" messages INBOX | awk -F= '{ print $NF }'; }

python3 "$sample_mail" --maildir "$MAILDIR" --count "$messages" --days 20 --seed 11 \
  --owner "$owner" --to "$USER@$DOMAIN" >/dev/null
# Index and read every message once, so neither tool pays for Dovecot's first scan
# or a cold page cache.
doveadm_ fetch -u "$USER" text mailbox INBOX all >/dev/null
on_server=$(count)
[ "$on_server" = "$messages" ] || { echo "imap bench: INBOX holds $on_server, not $messages" >&2; exit 1; }
mail_mb=$(du -sm "$MAILDIR" | awk '{ print $1 }')

"$bin/tallyhop" init --user bench >/dev/null
"$bin/tallyhop" handheld account --number 0 --name "Bench IMAP" --server "$HOST" --port "$IMAP_PORT" \
  --user "$USER" --password "$PASS" --smtp "$HOST" --smtp-port "$SMTP_PORT" \
  --email "$USER@$DOMAIN" --smtp-login >/dev/null
"$bin/tallyhop" account --user bench --number 0 --name "Bench IMAP" --client imap --active 1 \
  --days 30 --inbox 1 --outbox 1 --size 64 >/dev/null
"$bin/tallyhop" account --user bench --log info >/dev/null

# Private mbsync set-up: plaintext login on loopback, a Maildir of its own.
mkdir -p "$work/mbsync"
cat >"$work/mbsyncrc" <<EOF
IMAPAccount bench
Host $HOST
Port $IMAP_PORT
User $USER
Pass $PASS
SSLType None
AuthMechs LOGIN

IMAPStore bench-far
Account bench

MaildirStore bench-near
Path $work/mbsync/
Inbox $work/mbsync/INBOX
SubFolders Verbatim

Channel bench
Far :bench-far:
Near :bench-near:
Patterns INBOX
Sync Pull
Create Near
SyncState *
EOF

# measure NAME LOG CMD...: appends "name wall cpu peak_mb status" to $work/results.
measure() {
  local name=$1 log=$2 rc=0
  shift 2
  /usr/bin/time -v -o "$work/$name.time" "$@" >"$log" 2>&1 || rc=$?
  awk -v n="$name" -v rc="$rc" -F': ' '
    /Elapsed \(wall clock\)/ { k = split($2, p, ":"); w = 0; for (i = 1; i <= k; i++) w = w * 60 + p[i] }
    /User time/ { u = $2 } /System time/ { s = $2 } /Maximum resident/ { m = $2 / 1024 }
    END { printf "%s %.2f %.2f %.1f %d\n", n, w, u + s, m, rc }' "$work/$name.time" >>"$work/results"
}

measure tallyhop "$work/sync.out" "$bin/tallyhop" sync
measure mbsync "$work/mbsync.out" /usr/bin/mbsync -c "$work/mbsyncrc" bench

got_tallyhop=$("$bin/tallyhop" handheld show --category 0 | awk -F'\t' '$2 == "account 0"' | wc -l)
got_mbsync=$(find "$work/mbsync/INBOX/cur" "$work/mbsync/INBOX/new" -type f 2>/dev/null | wc -l)

echo "IMAP INBOX: $on_server messages, $mail_mb MB on disk (Dovecot $HOST:$IMAP_PORT)"
awk -v gt="$got_tallyhop" -v gm="$got_mbsync" '
  { n[NR] = $1; w[NR] = $2; c[NR] = $3; m[NR] = $4; rc[NR] = $5 }
  END {
    printf "%-9s %9s %9s %10s %6s %9s\n", "tool", "wall s", "CPU s", "peak MB", "exit", "messages"
    for (i = 1; i <= NR; i++)
      printf "%-9s %9.2f %9.2f %10.1f %6d %9d\n", n[i], w[i], c[i], m[i], rc[i], (n[i] == "tallyhop" ? gt : gm)
    printf "ratio tallyhop/mbsync: wall %.2f  CPU %.2f  peak memory %.2f\n",
      w[1] / (w[2] ? w[2] : 0.01), c[1] / (c[2] ? c[2] : 0.01), m[1] / (m[2] ? m[2] : 0.1)
  }' "$work/results"

status=0
[ "$got_tallyhop" = "$messages" ] || { echo "tallyhop: $got_tallyhop messages on the handheld, not $messages" >&2; status=1; }
[ "$got_mbsync" = "$messages" ] || { echo "mbsync: $got_mbsync messages in the Maildir, not $messages" >&2; status=1; }
if [ "$status" != 0 ] || [ "${VERBOSE:-0}" = 1 ]; then
  echo "-- tallyhop sync (last lines)"; grep -v 'Progress \[' "$work/sync.out" | tail -n 15
  echo "-- mbsync (last lines)"; tail -n 5 "$work/mbsync.out"
fi
exit "$status"
