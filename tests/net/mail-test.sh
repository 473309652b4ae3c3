#!/usr/bin/env bash
# velora-send-mail against a mail server on the loopback address, started here (Python's smtpd
# debugging server prints what it receives), and with no server listening.
# Usage: mail-test.sh path/to/velora
set -u
velora=$1
if ! python3 -c 'import smtpd' 2>/dev/null; then
    echo "skipped: python3 with its smtpd module is needed for a local mail server"
    exit 0
fi
work=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -W ignore -u -m smtpd -n -c DebuggingServer "127.0.0.1:$port" > "$work/received" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done
passed=0 failed=0
expect() { # name, expected, actual
    if [ "$2" == "$3" ]; then passed=$((passed + 1)); else
        failed=$((failed + 1)); printf 'FAIL %s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"; fi
}
send='(velora-send-mail :mail-to "lorin@example.org" :mail-from "setup@example.org" :subject "Installed" :content "Lorin is installed.")'
out=$(VELORA_SMTP_URL="smtp://127.0.0.1:$port" "$velora" --eval "$send" 2>&1)
expect "the server takes the message" "t" "$out"
sleep 0.3
grep -q "Subject: Installed" "$work/received"; expect "the subject arrives" 0 $?
grep -q "Lorin is installed." "$work/received"; expect "the content arrives" 0 $?
grep -q "To: <lorin@example.org>" "$work/received"; expect "the recipient arrives" 0 $?
kill $server 2>/dev/null; wait $server 2>/dev/null
out=$(VELORA_SMTP_URL="smtp://127.0.0.1:$port" "$velora" --eval "$send" 2>&1)
expect "no server listening: nil" "()" "$out"
out=$("$velora" --eval "$send" 2>&1)
expect "no server configured: nil" "()" "$out"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
