#!/usr/bin/env bash
# The main job: a private Dovecot and SMTP server seeded with sample mail, one desktop
# user whose emulated handheld has an IMAP account and a POP account, a synchronisation,
# then changes on both sides and a second synchronisation.
#
#   scripts/demo.sh [BUILD_DIR]     (the README's `make demo` runs it after the build)
#
# Everything lives in one temporary directory (printed at the start); the servers stop
# when the script ends. Set KEEP=1 to keep the directory for a look afterwards.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build/bin"
servers_sh="$root/tests/servers/mailservers.sh"
sample_mail="$root/scripts/sample_mail.py"

work=$(mktemp -d /tmp/tessaline-demo-XXXXXX)
# The servers run their helpers under other users, which must reach the files below.
chmod 0755 "$work"
export TESSALINE_HOME="$work/home"
servers="$work/servers"
relay_pid=""
finish() {
  [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null || true
  bash "$servers_sh" stop "$servers" >/dev/null 2>&1 || true
  if [ "${KEEP:-0}" = 1 ]; then echo "(kept: $work)"; else rm -rf "$work"; fi
}
trap finish EXIT

step() { printf '\n== %s\n' "$*"; }
tallyhop() { "$bin/tallyhop" "$@"; }

[ -x "$bin/tallyhop" ] || { echo "demo: $bin/tallyhop is missing; build first (make demo does)" >&2; exit 1; }

step "Private mail servers (Dovecot IMAP4/POP3 and SMTP on loopback)"
bash "$servers_sh" start "$servers" --watch $$ >"$work/servers.log" 2>&1 || { cat "$work/servers.log" >&2; exit 1; }
# shellcheck disable=SC1091
. "$servers/servers.env"
echo "IMAP $HOST:$IMAP_PORT  POP3 $HOST:$POP3_PORT  SMTP $HOST:$SMTP_PORT"
owner=$(awk -F: -v u="$USER" '$1 == u { print $3 ":" $4 }' "$servers/passwd")
doveadm_() { doveadm -c "$DOVECOT_CONF" "$@"; }
count() { doveadm_ mailbox status -u "$1" messages "$2" | awk -F= '{ print $NF }'; }

step "Sample mail, dated within the last 20 days (every 7th message has an attachment)"
python3 "$sample_mail" --maildir "$MAILDIR" --count 300 --days 20 --seed 1 --owner "$owner" \
  --to "$USER@$DOMAIN"
python3 "$sample_mail" --maildir "$MAILDIR/.Sent" --count 40 --days 20 --seed 2 --owner "$owner" \
  --prefix "[sent] " --to "someone@example.org"
python3 "$sample_mail" --maildir "$MAILDIR2" --count 200 --days 20 --seed 3 --owner "$owner" \
  --prefix "[pop] " --to "$USER2@$DOMAIN"
echo "IMAP user $USER: INBOX $(count "$USER" INBOX), Sent $(count "$USER" Sent)"
echo "POP user $USER2: INBOX $(count "$USER2" INBOX)"

# The handheld keeps its ports as signed 16-bit numbers and a POP port below 1 counts as
# unset, so the POP account reaches the server through a relay on a port below 32768.
low_port_relay() {  # target-port port-file
  python3 - "$1" "$2" <<'PY' &
import asyncio, socket, sys
target, port_file = int(sys.argv[1]), sys.argv[2]
sock = socket.socket()
for port in range(20000, 32000):
    try:
        sock.bind(("127.0.0.1", port))
        break
    except OSError:
        continue
sock.listen(16)

async def pump(reader, writer):
    try:
        while data := await reader.read(65536):
            writer.write(data)
            await writer.drain()
    finally:
        writer.close()

async def relay(client_r, client_w):
    server_r, server_w = await asyncio.open_connection("127.0.0.1", target)
    await asyncio.gather(pump(client_r, server_w), pump(server_r, client_w), return_exceptions=True)

async def main():
    server = await asyncio.start_server(relay, sock=sock)
    with open(port_file, "w") as f:
        f.write(str(sock.getsockname()[1]))
    async with server:
        await server.serve_forever()

asyncio.run(main())
PY
  relay_pid=$!
  for _ in $(seq 50); do [ -s "$2" ] && break; sleep 0.1; done
}
low_port_relay "$POP3_PORT" "$work/pop-relay.port"
pop_port=$(cat "$work/pop-relay.port")

step "A desktop user and an emulated handheld"
tallyhop init --user demo

step "Two mail accounts on the handheld: IMAP (account 0) and POP (account 1)"
tallyhop handheld account --number 0 --name "Work IMAP" --server "$HOST" --port "$IMAP_PORT" \
  --user "$USER" --password "$PASS" --smtp "$HOST" --smtp-port "$SMTP_PORT" \
  --email "$USER@$DOMAIN" --smtp-login
tallyhop handheld account --number 1 --name "Home POP" --pop --server "$HOST" --port "$pop_port" \
  --user "$USER2" --password "$PASS2" --smtp "$HOST" --smtp-port "$SMTP_PORT" \
  --email "$USER2@$DOMAIN" --smtp-login

show_handheld() {
  local listing
  listing=$(tallyhop handheld show)
  echo "Messages on the handheld, per account and folder:"
  printf '%s\n' "$listing" | awk -F'\t' '{ n[$2 " " $3]++ } END { for (k in n) printf "  %-22s %d\n", k, n[k] }' | sort
  echo "A few of them:"
  printf '%s\n' "$listing" | awk -F'\t' 'NR % 60 == 1 { printf "  #%s  %s  %-28s %s\n", $1, $2, $5, $6 }' | head -n 8
}
sync_log() {
  echo "Sync log ($1 lines from the end):"
  find "$TESSALINE_HOME" -name Tallyhop.log -exec tail -n "$1" {} \; | sed 's/^/  /'
}

step "First synchronisation: tallyhop sync"
time tallyhop sync
if [ -z "$(tallyhop handheld show)" ]; then
  sync_log 6
  echo
  echo "Nothing reached the handheld: the accounts have no desktop side yet (mail client and"
  echo "active flag, which the configuration entry sets); this build has no command for it."
  exit 1
fi
show_handheld
sync_log 12

step "Meanwhile: new mail arrives, the user deletes a message and writes one on the handheld"
python3 "$sample_mail" --maildir "$MAILDIR" --count 5 --days 1 --seed 4 --owner "$owner" \
  --prefix "[new] " --to "$USER@$DOMAIN"
python3 "$sample_mail" --maildir "$MAILDIR2" --count 3 --days 1 --seed 5 --owner "$owner" \
  --prefix "[new pop] " --to "$USER2@$DOMAIN"
victim=$(tallyhop handheld show --category 0 | awk -F'\t' '$2 == "account 0" { print $1; exit }')
victim_subject=$(tallyhop handheld show --category 0 | awk -F'\t' -v r="$victim" '$1 == r { print $6 }')
tallyhop handheld delete --record "$victim"
echo "Deleted on the handheld: #$victim \"$victim_subject\""
tallyhop handheld compose --account 0 --to "$USER2@$DOMAIN" --subject "Written on the handheld" \
  --body "Sent from the train; see you tomorrow."
before_imap=$(count "$USER" INBOX)

step "Second synchronisation: tallyhop sync"
tallyhop sync
show_handheld
echo "On the server: IMAP INBOX $before_imap -> $(count "$USER" INBOX) messages" \
  "(5 new ones in, the handheld's deletion out)"
if doveadm_ search -u "$USER" mailbox INBOX subject "$victim_subject" | grep -q .; then
  echo "  the deleted message is still on the server"
else
  echo "  the deleted message is gone from the server"
fi
echo "SMTP server accepted $(find "$SMTP_CAPTURE_DIR" -name '*.eml' | wc -l) message(s) from the outbox;" \
  "POP user's INBOX now holds $(count "$USER2" INBOX)"
sync_log 12
