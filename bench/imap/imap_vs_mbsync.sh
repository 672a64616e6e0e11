#!/usr/bin/env bash
# A first synchronisation of an IMAP INBOX of 5,000 messages from a private Dovecot, then
# a second one with nothing changed: `tallyhop sync` into the emulated handheld against
# mbsync pulling the same INBOX into an empty Maildir, same servers, same run. The mail is
# 2-10 KB of text, every tenth message with a 100 KB attachment. Run by hand:
#
#   bench/imap/imap_vs_mbsync.sh [BUILD_DIR]     (MESSAGES=N, REPS=N (default 3), KEEP=1)
#
# The rows "first" are first synchronisations, "again" the second one right after it.
# RTT_MS=N puts both clients behind bench/imap/delay_proxy.py, which holds every chunk
# for half of an N ms round trip each way (pipelining kept): a slow network on loopback.
# bench/imap/check_delay_proxy.py measures what the proxy adds.
#
# This kernel has no netem (tc knows no such qdisc), so the round trip is the proxy's.
# So that neither client can reach Dovecot but through it, with RTT_MS the servers run in
# a network namespace of their own (`ip netns add`, hence root; it starts with only a
# loopback, which is brought up), and the proxy listens on 127.0.0.1 outside and makes
# each connection to Dovecot from a socket it opens inside the namespace (setns), so no
# veth pair, address or route is needed. SMTP stays inside: a sync with nothing to send
# never connects. The proxy, the servers and the namespace are removed on every way out
# (end, failure, Ctrl-C, TERM). Killed outright, a run leaves the proxy and the servers to
# stop by themselves once its pid is gone, and the namespace to the next run, which
# removes it.
#
# mbsync syncs each message to disk by default (FSync yes); MBSYNC_FSYNC=no turns that off
# to compare the protocol work alone.
#
# PROFILE=1 adds one untimed run of each under strace: socket writes, the IMAP commands
# they carry (by verb) and the system calls, to see where each client's time goes.
#
# HOLD=1 keeps the servers (and the proxy) running after the table, with the last
# tallyhop home and Maildir already synchronised, and prints what another timing tool
# needs to time further no-change synchronisations of both, paired; it stops on Ctrl-C or
# TERM like any run.
#
# Each repetition is a first synchronisation for both (a fresh handheld and desktop user,
# an empty Maildir), in alternating order so neither always runs on a warmer server. Each
# run is under /usr/bin/time -v: wall time, CPU (user + system of the client process; the
# server's share is not counted) and peak resident memory. The table shows every run and
# the medians; ratios are tallyhop / mbsync over the medians (at most 1.00: no dearer).
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/$build/bin"
servers_sh="$root/tests/servers/mailservers.sh"
sample_mail="$root/scripts/sample_mail.py"
messages=${MESSAGES:-5000}
reps=${REPS:-3}

[ -x "$bin/tallyhop" ] || { echo "imap bench: $bin/tallyhop is missing; build first" >&2; exit 1; }
[ -x /usr/bin/mbsync ] || { echo "imap bench: /usr/bin/mbsync is missing (package isync)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "imap bench: /usr/bin/time is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/tessaline-imapbench-XXXXXX)
# Dovecot's helpers run as other users and must reach the servers' directory.
chmod 0755 "$work"
servers="$work/servers"
netns_prefix=tessaline-imapbench-
proxy_pid='' netns='' in_netns=()
# drop_netns NAME: ends what still runs in it (only what this bench started there), then
# removes it.
drop_netns() {
  local pids
  pids=$(ip netns pids "$1" 2>/dev/null) || true
  # shellcheck disable=SC2086
  [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
  ip netns del "$1" 2>/dev/null || true
}
finish() {
  trap '' INT TERM HUP
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; fi
  bash "$servers_sh" stop "$servers" >/dev/null 2>&1 || true
  [ -z "$netns" ] || drop_netns "$netns"
  if [ "${KEEP:-0}" = 1 ]; then echo "(kept: $work)"; else rm -rf "$work"; fi
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

if [ -n "${RTT_MS:-}" ]; then
  for old_ns in $(ip netns list 2>/dev/null | awk -v p="$netns_prefix" 'index($1, p) == 1 { print $1 }'); do
    kill -0 "${old_ns#"$netns_prefix"}" 2>/dev/null || drop_netns "$old_ns"
  done
  netns=$netns_prefix$$
  ip netns add "$netns" || { netns=; echo "imap bench: RTT_MS needs a network namespace (ip netns add, as root)" >&2; exit 1; }
  ip netns exec "$netns" ip link set lo up
  in_netns=(ip netns exec "$netns")
fi

"${in_netns[@]}" bash "$servers_sh" start "$servers" --watch $$ >"$work/servers.log" 2>&1 ||
  { cat "$work/servers.log" >&2; exit 1; }
# shellcheck disable=SC1091
. "$servers/servers.env"
owner=$(awk -F: -v u="$USER" '$1 == u { print $3 ":" $4 }' "$servers/passwd")
doveadm_() { doveadm -c "$DOVECOT_CONF" "$@"; }
count() { doveadm_ mailbox status -u "$USER" messages INBOX | awk -F= '{ print $NF }'; }

python3 "$sample_mail" --maildir "$MAILDIR" --count "$messages" --days 20 --seed 11 \
  --owner "$owner" --to "$USER@$DOMAIN" --text-kb 2:10 --attach-every 10 --attach-kb 100 >/dev/null
# Index and read every message once, so neither tool pays for Dovecot's first scan
# or a cold page cache.
doveadm_ fetch -u "$USER" text mailbox INBOX all >/dev/null
on_server=$(count)
[ "$on_server" = "$messages" ] || { echo "imap bench: INBOX holds $on_server, not $messages" >&2; exit 1; }
mail_mb=$(du -sm "$MAILDIR" | awk '{ print $1 }')

imap_port=$IMAP_PORT
if [ -n "${RTT_MS:-}" ]; then
  imap_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  python3 "$root/bench/imap/delay_proxy.py" "$imap_port" "$HOST" "$IMAP_PORT" "$RTT_MS" --listen "$HOST" \
    --netns "$netns" --watch $$ >"$work/proxy.log" 2>&1 &
  proxy_pid=$!
  for _ in $(seq 100); do grep -q ready "$work/proxy.log" 2>/dev/null && break; sleep 0.1; done
  grep -q ready "$work/proxy.log" || { echo "imap bench: the delay proxy did not start" >&2; cat "$work/proxy.log" >&2; exit 1; }
fi

# Private mbsync set-up: plaintext login on loopback, a Maildir of its own.
cat >"$work/mbsyncrc" <<EOF
FSync ${MBSYNC_FSYNC:-yes}

IMAPAccount bench
Host $HOST
Port $imap_port
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

# measure NAME GOT_CMD CMD...: appends "name wall cpu peak_mb status messages" to
# $work/results; GOT_CMD counts the messages the run brought over.
measure() {
  local name=$1 got=$2 rc=0
  shift 2
  /usr/bin/time -v -o "$work/$name.time" "$@" >"$work/$name.out" 2>&1 || rc=$?
  awk -v n="$name" -v rc="$rc" -v got="$($got)" -F': ' '
    /Elapsed \(wall clock\)/ { k = split($2, p, ":"); w = 0; for (i = 1; i <= k; i++) w = w * 60 + p[i] }
    /User time/ { u = $2 } /System time/ { s = $2 } /Maximum resident/ { m = $2 / 1024 }
    END { printf "%s %.2f %.2f %.1f %d %d\n", n, w, u + s, m, rc, got }' "$work/$name.time" >>"$work/results"
}

tallyhop_setup() {
  export TESSALINE_HOME="$work/home"
  rm -rf "$TESSALINE_HOME"
  "$bin/tallyhop" init --user bench >/dev/null
  # Room for the whole INBOX on the handheld's card.
  "$bin/tallyhop" handheld card --size 4095 >/dev/null
  "$bin/tallyhop" handheld account --number 0 --name "Bench IMAP" --server "$HOST" --port "$imap_port" \
    --user "$USER" --password "$PASS" --smtp "$HOST" --smtp-port "$SMTP_PORT" \
    --email "$USER@$DOMAIN" --smtp-login >/dev/null
  "$bin/tallyhop" account --user bench --number 0 --name "Bench IMAP" --client imap --active 1 \
    --days 30 --inbox 1 --outbox 1 --size 64 >/dev/null
  "$bin/tallyhop" account --user bench --log info >/dev/null
}
mbsync_setup() { rm -rf "$work/mbsync" && mkdir -p "$work/mbsync"; }
tallyhop_got() { "$bin/tallyhop" handheld show --category 0 | awk -F'\t' '$2 == "account 0"' | wc -l; }
mbsync_got() { find "$work/mbsync/INBOX/cur" "$work/mbsync/INBOX/new" -type f 2>/dev/null | wc -l; }
run_tallyhop() {
  tallyhop_setup
  measure tallyhop-first tallyhop_got "$bin/tallyhop" sync
  measure tallyhop-again tallyhop_got "$bin/tallyhop" sync
}
run_mbsync() {
  mbsync_setup
  measure mbsync-first mbsync_got /usr/bin/mbsync -c "$work/mbsyncrc" bench
  measure mbsync-again mbsync_got /usr/bin/mbsync -c "$work/mbsyncrc" bench
}

for ((r = 1; r <= reps; r++)); do
  if ((r % 2)); then run_tallyhop; run_mbsync; else run_mbsync; run_tallyhop; fi
done

where="Dovecot $HOST:$IMAP_PORT"
[ -z "$netns" ] || where="Dovecot in network namespace $netns, clients through the proxy on $HOST:$imap_port"
echo "IMAP INBOX: $on_server messages, $mail_mb MB on disk ($where), $reps repetitions, mbsync FSync ${MBSYNC_FSYNC:-yes}, round trip ${RTT_MS:-0} ms added"
sort -s -k1,1 "$work/results" | awk -v want="$messages" '
  function median(a, k,   i, j, t) {
    for (i = 2; i <= k; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
  }
  BEGIN { printf "%-16s %8s %8s %9s %5s %9s\n", "run", "wall s", "CPU s", "peak MB", "exit", "messages" }
  {
    k = ++n[$1]; W[$1, k] = $2; C[$1, k] = $3; M[$1, k] = $4
    if ($5 != 0 || $6 != want) bad = 1
    printf "%-16s %8.2f %8.2f %9.1f %5d %9d\n", $1 " #" k, $2, $3, $4, $5, $6
  }
  END {
    for (t in n) {
      delete a; for (i = 1; i <= n[t]; i++) a[i] = W[t, i]; mw[t] = median(a, n[t])
      delete a; for (i = 1; i <= n[t]; i++) a[i] = C[t, i]; mc[t] = median(a, n[t])
      delete a; for (i = 1; i <= n[t]; i++) a[i] = M[t, i]; mm[t] = median(a, n[t])
      printf "%-16s %8.2f %8.2f %9.1f\n", t " median", mw[t], mc[t], mm[t]
    }
    split("first again", kinds, " ")
    for (k = 1; k <= 2; k++) {
      ta = "tallyhop-" kinds[k]; mb = "mbsync-" kinds[k]
      printf "ratio tallyhop/mbsync %s (medians): wall %.2f  CPU %.2f  peak memory %.2f\n", kinds[k],
        mw[ta] / mw[mb], mc[ta] / mc[mb], mm[ta] / mm[mb]
    }
    exit bad
  }' || { echo "imap bench: a run failed or brought over other than $messages messages" >&2
          echo "-- tallyhop sync (last lines)"; grep -v 'Progress \[' "$work/tallyhop-first.out" | tail -n 15
          echo "-- mbsync (last lines)"; tail -n 5 "$work/mbsync-first.out"; exit 1; }

if [ "${PROFILE:-0}" = 1 ]; then
  profile() {  # NAME CMD...: two first runs under strace: socket writes, then a syscall count
    local name=$1
    shift
    "${name}_setup"
    strace -f -qq -o "$work/$name.strace" -e trace=write,writev,sendto,sendmsg -s 65536 "$@" >/dev/null 2>&1 || true
    "${name}_setup"
    strace -f -qq -c -o "$work/$name.syscalls" "$@" >/dev/null 2>&1 || true
  }
  profile tallyhop "$bin/tallyhop" sync
  profile mbsync /usr/bin/mbsync -c "$work/mbsyncrc" bench
  for t in tallyhop mbsync; do
    echo "-- $t: IMAP commands sent, by verb (UID prefix kept)"
    grep -oE '("|\\n)[A-Za-z0-9.]+ (UID [A-Z]+|[A-Z]+)' "$work/$t.strace" | sed -E 's/^("|\\n)[^ ]* //' |
      sort | uniq -c | sort -rn | head -n 8
    echo "   socket writes: $(grep -cE '^[0-9]+ +(sendto|sendmsg|writev?)\([0-9]+, "[A-Za-z0-9.]+ [A-Z]' "$work/$t.strace")"
    echo "-- $t: system calls (top by time)"
    sed -n '1,12p' "$work/$t.syscalls"
  done
fi

if [ "${HOLD:-0}" = 1 ]; then
  echo "-- holding: IMAP on $HOST:$imap_port, user $USER, password $PASS"
  echo "   TESSALINE_HOME=$work/home $bin/tallyhop sync"
  echo "   /usr/bin/mbsync -c $work/mbsyncrc bench"
  echo "   (stop with: kill $$)"
  while :; do sleep 5; done
fi
