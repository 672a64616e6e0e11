#!/usr/bin/env bash
# The main job: a private Dovecot and SMTP server seeded with sample mail, one desktop
# user whose emulated handheld has an IMAP account, a POP account and a desktop mail
# client's account (the MAPI stand-in over a Maildir profile that submits through the same
# SMTP server), a synchronisation, then changes on both sides and a second synchronisation;
# last the relay `wayfarer` on that desktop client: one new desktop mail forwarded to the
# handheld's wireless address, and the handheld's sealed control mails obeyed.
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
relay_pid=
finish() {
  if [ -n "$relay_pid" ]; then kill "$relay_pid" 2>/dev/null || true; fi
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
python3 "$sample_mail" --maildir "$MAILDIR2" --count 200 --days 20 --seed 3 --owner "$owner" \
  --prefix "[pop] " --to "$USER2@$DOMAIN"
echo "IMAP user $USER: INBOX $(count "$USER" INBOX)"
echo "POP user $USER2: INBOX $(count "$USER2" INBOX)"

step "A desktop mail client: a MAPI profile over its own Maildir, sending through the SMTP server"
desk="$work/desk/Maildir"
python3 "$sample_mail" --maildir "$desk" --count 40 --days 20 --seed 6 --prefix "[desk] " \
  --to "$USER@$DOMAIN"
mkdir -p "$TESSALINE_HOME/mapi"
cat >"$TESSALINE_HOME/mapi/profiles.ini" <<PROFILE
[Desk]
default = 1
password =
maildir = $desk
smtp = smtp://$HOST:$SMTP_PORT
smtp_user = $USER
smtp_password = $PASS
identity = SMTP|Demo User|$USER@$DOMAIN|
PROFILE
desk_count() { find "$desk/$1" -type f 2>/dev/null | wc -l; }
echo "Desktop client profile \"Desk\": Inbox $(desk_count new) new message(s)"

step "A desktop user and an emulated handheld"
tallyhop init --user demo --mail-client

step "Three mail accounts on the handheld: IMAP (account 0), POP (account 1), desktop client (account 2)"
tallyhop handheld account --number 0 --name "Work IMAP" --server "$HOST" --port "$IMAP_PORT" \
  --user "$USER" --password "$PASS" --smtp "$HOST" --smtp-port "$SMTP_PORT" \
  --email "$USER@$DOMAIN" --smtp-login
tallyhop handheld account --number 1 --name "Home POP" --pop --server "$HOST" --port "$POP3_PORT" \
  --user "$USER2" --password "$PASS2" --smtp "$HOST" --smtp-port "$SMTP_PORT" \
  --email "$USER2@$DOMAIN" --smtp-login
tallyhop handheld account --number 2 --name "Desk Mail" --pop --server "$HOST" --email "$USER@$DOMAIN"

step "Their desktop side, as the configuration entry leaves it: mail client, active, 30 days"
tallyhop account --user demo --number 0 --name "Work IMAP" --client imap --active 1 --days 30 \
  --inbox 1 --outbox 1 --size 64
tallyhop account --user demo --number 1 --name "Home POP" --client pop --active 1 --days 30 \
  --inbox 1 --outbox 1 --size 64
# Mail client 1: a desktop client reached through Simple MAPI, on the default profile.
tallyhop account --user demo --number 2 --name "Desk Mail" --client 1 --active 1 --days 30 \
  --inbox 1 --outbox 1 --size 64
tallyhop account --user demo --log info

show_handheld() {  # [subject filter]
  local listing
  listing=$(tallyhop handheld show)
  echo "Messages on the handheld, per account and folder:"
  printf '%s\n' "$listing" | awk -F'\t' '
    BEGIN { name[0] = "Inbox"; name[1] = "Outbox"; name[3] = "Sent" }
    { c = substr($3, 10); n[$2 " " (c in name ? name[c] : $3)]++ }
    END { for (k in n) printf "  %-22s %d\n", k, n[k] }' | sort
  echo "Some subjects:"
  printf '%s\n' "$listing" | awk -F'\t' -v f="${1:-}" 'f == "" ? NR % 60 == 1 : index($6, f) == 1 {
    printf "  #%-4s %s  %-32s %s\n", $1, $2, $5, $6 }' | head -n 8
}
# One `tallyhop sync`: its output is the run's part of the sync log, less the progress bars.
sync_run() {
  local start rc=0
  start=$(date +%s%N)
  tallyhop sync >"$work/sync.out" 2>&1 || rc=$?
  echo "Sync log of this run ($(( ($(date +%s%N) - start) / 1000000 )) ms, exit status $rc):"
  grep -v 'Progress \[' "$work/sync.out" | sed 's/^/  /'
}

step "First synchronisation: tallyhop sync"
sync_run
if [ -z "$(tallyhop handheld show)" ]; then
  echo "Nothing reached the handheld. The accounts' desktop side after the synchronisation:"
  after=$(tallyhop account --user demo --number 0; tallyhop account --user demo --number 1)
  printf '%s\n' "$after" | sed 's/^/  /'
  if printf '%s\n' "$after" | grep -q 'mail client -1'; then
    echo "The synchronisation found no settings version for the user and reset every account"
    echo "to its defaults, although \`tallyhop account\` had stored version 517."
  fi
  exit 1
fi
show_handheld

step "Meanwhile: new mail arrives, the user deletes a message and writes one on the handheld"
first_imap=$(count "$USER" INBOX)
python3 "$sample_mail" --maildir "$MAILDIR" --count 5 --days 1 --seed 4 --owner "$owner" \
  --prefix "[new] " --to "$USER@$DOMAIN"
python3 "$sample_mail" --maildir "$MAILDIR2" --count 3 --days 1 --seed 5 --owner "$owner" \
  --prefix "[new pop] " --to "$USER2@$DOMAIN"
inbox=$(tallyhop handheld show --category 0)
victim=$(printf '%s\n' "$inbox" | awk -F'\t' '$2 == "account 0" { print $1 }' | sed -n 7p)
victim_subject=$(printf '%s\n' "$inbox" | awk -F'\t' -v r="$victim" '$1 == r { print $6 }')
tallyhop handheld delete --record "$victim"
echo "Deleted on the handheld: #$victim \"$victim_subject\""
tallyhop handheld compose --account 0 --to "$USER2@$DOMAIN" --subject "Written on the handheld" \
  --body "Sent from the train; see you tomorrow." >/dev/null
echo "Written on the handheld's outbox: \"Written on the handheld\" to $USER2@$DOMAIN"
desk_victim=$(printf '%s\n' "$inbox" | awk -F'\t' '$2 == "account 2" { print $1 }' | sed -n 3p)
desk_subject=$(printf '%s\n' "$inbox" | awk -F'\t' -v r="$desk_victim" '$1 == r { print $6 }')
if [ -n "$desk_victim" ]; then
  tallyhop handheld delete --record "$desk_victim"
  echo "Deleted on the handheld: #$desk_victim \"$desk_subject\" (desktop client account)"
fi
tallyhop handheld compose --account 2 --to "$USER2@$DOMAIN" --subject "Written for the desktop client" \
  --body "This one leaves through the desktop client's profile." >/dev/null
echo "Written on the handheld's outbox: \"Written for the desktop client\" to $USER2@$DOMAIN"

step "Second synchronisation: tallyhop sync"
sync_run
show_handheld "[new"
echo "On the server: IMAP INBOX $first_imap + 5 new - 1 deleted on the handheld = $(count "$USER" INBOX) messages"
if doveadm_ search -u "$USER" mailbox INBOX subject "$victim_subject" | grep -q .; then
  echo "  the deleted message is still on the server"
else
  echo "  the deleted message is gone from the server"
fi
echo "SMTP server accepted $(find "$SMTP_CAPTURE_DIR" -name '*.eml' | wc -l) message(s) from the outbox;" \
  "POP user's INBOX now holds $(count "$USER2" INBOX)"
echo "Desktop client profile: Inbox $(( $(desk_count cur) + $(desk_count new) )) message(s)," \
  "Deleted Items $(( $(desk_count .Trash/cur) + $(desk_count .Trash/new) )), Sent Items" \
  "$(( $(desk_count .Sent/cur) + $(desk_count .Sent/new) ))"

step "The relay: wayfarer watches the desktop client's Inbox for the handheld"
# The handheld's wireless address is in a domain the SMTP server only keeps (as if it left
# for the carrier's network); what the relay sends on the handheld's behalf goes to the
# POP user's mailbox.
wireless="handheld@wireless.test"
setup=$(tallyhop relay setup --user demo --account 2 --profile Desk --wireless "$wireless")
printf '%s\n' "$setup"
relay_log=$(printf '%s\n' "$setup" | sed -n 's/^Relay log: //p')
# Headless: Qt's offscreen platform, where no tray icon shows and any message box is a
# line on wayfarer's error output.
QT_QPA_PLATFORM=offscreen "$bin/wayfarer" >"$work/wayfarer.out" 2>&1 &
relay_pid=$!
relay_failed() {
  echo "demo: $*; the relay's log and output:" >&2
  sed 's/^/  /' "$relay_log" "$work/wayfarer.out" >&2 2>/dev/null || true
  exit 1
}
wait_until() {  # seconds command...: polls every 0.2 s
  local tries=$(( $1 * 5 )); shift
  until "$@"; do
    (( tries-- > 0 )) || return 1
    kill -0 "$relay_pid" 2>/dev/null || return 1
    sleep 0.2
  done
}
wait_until 20 grep -q "is running using profile: Desk" "$relay_log" 2>/dev/null ||
  relay_failed "wayfarer did not start"
relay_lines() { grep -a -o 'Wayfarer[ A-Za-z]*: .*' "$relay_log" | tr -d '\r' | sed 's/^/  /'; }
echo "wayfarer (pid $relay_pid) is running:"
relay_lines
# A mail lands in the desktop client's Inbox as its mail system delivers it.
to_desk_inbox() {  # file
  local name
  name="$(date +%s).$$_$RANDOM.demo"
  cp "$1" "$desk/tmp/$name" && mv "$desk/tmp/$name" "$desk/new/$name"
}
captured_for() {  # address subject-pattern: the SMTP server's copies sent to the address
  local json
  for json in "$SMTP_CAPTURE_DIR"/*.json; do
    [ -e "$json" ] || continue
    grep -q "\"$1\"" "$json" && grep -aq "$2" "${json%.json}.eml" && echo "${json%.json}.eml"
  done
  return 0
}
has_capture() { [ -n "$(captured_for "$@")" ]; }

step "New desktop mail is forwarded to the handheld, sealed"
printf 'From: Alice Archer <alice@example.test>\nTo: Demo User <%s>\nSubject: Board meeting moved to Thursday\nDate: %s\nMessage-ID: <board.%s@example.test>\n\nThe board meets on Thursday at ten, in the small room.\n' \
  "$USER@$DOMAIN" "$(LC_ALL=C date -R)" "$$" >"$work/new-mail.eml"
to_desk_inbox "$work/new-mail.eml"
echo "Arrived in the desktop client's Inbox: \"Board meeting moved to Thursday\" from alice@example.test"
wait_until 30 grep -q "Successfully forwarded .*Board meeting" "$relay_log" || relay_failed "nothing was forwarded"
wait_until 10 has_capture "$wireless" 'X-CORVID-FROM' || relay_failed "the SMTP server got no forward"
forward=$(captured_for "$wireless" 'X-CORVID-FROM' | tail -n 1)
echo "The SMTP server took it for $wireless ($(wc -c <"$forward") bytes); what the handheld receives:"
tr -d '\r' <"$forward" | awk '/^(To|Subject):/ { print "  " $0 } /^$/ { exit }'
tr -d '\r' <"$forward" | awk 'body && /X-CORVID/ { print "  " substr($0, 1, 60) (length($0) > 60 ? "..." : "") }
  /^$/ { body = 1 }'

step "The handheld sends a sealed control mail: send a new mail from the desktop"
tallyhop relay control --user demo --request new --to "$USER2@$DOMAIN" \
  --subject "Written on the handheld, sent by the relay" \
  --body "The relay sends this through the desktop client's profile." >"$work/control.eml"
echo "The control mail (subject and the start of its sealed body):"
tr -d '\r' <"$work/control.eml" | awk '/^Subject:/ { print "  " $0 } body && n++ < 2 { print "  " $0 } /^$/ { body = 1 }'
to_desk_inbox "$work/control.eml"
wait_until 30 has_capture "$USER2@$DOMAIN" 'Written on the handheld, sent by the relay' ||
  relay_failed "the requested mail did not reach the SMTP server"
wait_until 10 grep -q "Successfully sent Device New eMail" "$relay_log" || true
sent=$(captured_for "$USER2@$DOMAIN" 'Written on the handheld, sent by the relay' | tail -n 1)
echo "The SMTP server took the requested mail for $USER2@$DOMAIN:"
tr -d '\r' <"$sent" | awk '/^(From|To|Subject):/ { print "  " $0 } /^$/ { exit }'
delivered() { doveadm_ search -u "$USER2" mailbox INBOX subject "sent by the relay" | grep -q .; }
if wait_until 10 delivered; then
  echo "  and delivered it: POP user's INBOX now holds $(count "$USER2" INBOX)"
fi
echo "The control mail is gone from the desktop client's Inbox:" \
  "$(grep -l -r 'Wayfarer Message' "$desk/new" "$desk/cur" 2>/dev/null | wc -l) left"

step "A shut-down control mail ends the relay"
tallyhop relay control --user demo --request shutdown >"$work/stop.eml"
to_desk_inbox "$work/stop.eml"
for _ in $(seq 50); do kill -0 "$relay_pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$relay_pid" 2>/dev/null; then relay_failed "wayfarer is still running"; fi
status=0
wait "$relay_pid" || status=$?
relay_pid=
echo "wayfarer ended (exit status $status). The relay's log ($relay_log):"
relay_lines

