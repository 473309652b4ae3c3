#!/usr/bin/env bash
# Headless runs of a small image driven by replays: the boot sequence and the top-level loop,
# throws out of handlers, keys, replay errors and screenshots.
# Usage: e2e-test.sh velora velora-image
set -u
velora=$1
builder=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
export VELORA_HEADLESS=1
unset VELORA_INSTANCE_FOLDER

expect() { # name, expected, actual
    if [ "$2" == "$3" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL %s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"
    fi
}

cd "$work"
"$builder" --output app.ri --resource-file-only "$here/app.lsp" || { echo "FAIL image build"; exit 1; }
for name in doc throw-cancel throw-toplevel error quit throw-quit nested other; do
    echo "$name" > "$name.txt"
done

run() { # replay text, then the arguments; sets out, err, status
    printf '%s\n' "$1" > replay.txt
    shift
    out=$("$velora" --image app.ri --headless --replay replay.txt "$@" 2>err.txt)
    status=$?
    err=$(cat err.txt)
}

# The boot: units, requests that came early, the command line's documents, start-appl; then
# the loop serves the replay until it ends.
run $'open other.txt\nwait 1000\nopen other.txt' doc.txt
expect "boot sequence" $'loaded\nopen-file other.txt\nopen-file doc.txt\nstart-appl\nopen-file other.txt' "$out"
expect "boot status" 0 $status
expect "boot stderr" "" "$err"

# A replay without quit ends the run as its end comes; so does an empty one.
run ''
expect "empty replay" $'loaded\nstart-appl' "$out"
expect "empty replay status" 0 $status

# Throws out of a handler are re-raised after dispatch: the loop goes on.
run $'wait 1000\nopen throw-cancel.txt\nopen throw-toplevel.txt\nopen other.txt'
expect "throws from handlers" $'loaded\nstart-appl\nopen-file throw-cancel.txt\nopen-file throw-toplevel.txt\nopen-file other.txt' "$out"
expect "throws status" 0 $status

# An error in a handler is reported once; the loop goes on.
run $'wait 1000\nopen error.txt\nopen other.txt'
expect "error in a handler" $'loaded\nstart-appl\nopen-file error.txt\nopen-file other.txt' "$out"
expect "error report" "Error: 1010-2, 5, #<instance>, (), ()" "$err"

# A quit, or a throw to quit, from a handler ends the run at once, with status 0.
for q in quit throw-quit; do
    run $'wait 1000\nopen '$q$'.txt\nopen other.txt'
    expect "$q from a handler" $'loaded\nstart-appl\nopen-file '$q'.txt' "$out"
    expect "$q status" 0 $status
done

# A handler's catch around process-events receives the throw of the message it dispatched,
# after that dispatch.
run $'wait 1000\nopen nested.txt\nopen throw-cancel.txt\nopen other.txt'
expect "throw into a catch around process-events" \
    $'loaded\nstart-appl\nopen-file nested.txt\nopen-file throw-cancel.txt\ncaught (from handler)\nopen-file other.txt' "$out"

# Keys: system-key-down hears every key but the plain letters and digits; F1 is 378.
run $'wait 1000\nkey f1\nkey a\nkey ctrl+a\nkey alt+x\nkey return\nkey enter\nkey 5\nkey shift+f2\nkey escape'
expect "system keys" $'loaded\nstart-appl\nsystem-key-down 378   \nsystem-key-down 65 ctrl  \nsystem-key-down 88  alt \nsystem-key-down 13   \nsystem-key-down 3   \nsystem-key-down 376   shift\nsystem-key-down 27   ' "$out"

# A replay line that does not parse stops the run before the units, with its line number.
run $'wait 10\nclick 10\nquit'
expect "bad replay status" 2 $status
expect "bad replay output" "" "$out"
case "$err" in *"line 2"*) passed=$((passed + 1)) ;; *) failed=$((failed + 1)); echo "FAIL bad replay message: $err" ;; esac

# Screenshots of the frame: the default start-up parameters ask for a black 400 x 375 client.
run $'screenshot shot.png\nquit'
expect "screenshot status" 0 $status
size=$(od -An -tu1 -j16 -N8 shot.png 2>/dev/null | tr -s ' ')
expect "screenshot size" " 0 0 1 144 0 0 1 119" "$size"
if command -v python3 >/dev/null; then
    corner=$(python3 -c '
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
at, idat = 8, b""
while at < len(data):
    length = struct.unpack(">I", data[at:at + 4])[0]
    if data[at + 4:at + 8] == b"IDAT":
        idat += data[at + 8:at + 8 + length]
    at += 12 + length
row = zlib.decompress(idat)
print(row[1], row[2], row[3])' shot.png)
    expect "black client area" "0 0 0" "$corner"
fi

# A screenshot that cannot be written fails the run.
run $'screenshot /no/such/folder/x.png\nquit'
expect "failed screenshot status" 1 $status

# Events served while the units load.
"$builder" --output load.ri --resource-file-only "$here/app.lsp" "$here/load-time.lsp" || { echo "FAIL image build"; exit 1; }
printf 'answer %s\nkey f1\nopen other.txt\n' "$work" > replay.txt
out=$("$velora" --image load.ri --headless --replay replay.txt 2>err.txt); status=$?
expect "events while loading" $'loaded\nflag 1\nsystem-key-down 378   \nafter keys ()\nblocked 1 ()\nunblocked 0\nopen-file other.txt\nthe loop saw other.txt\nwait-key (0)\nfolder chosen\nstart-appl' "$out"
expect "events while loading: stderr" "" "$(cat err.txt)"

# The screen and the frame's place on it (headless: a 1280 x 1024 screen).
"$builder" --output desk.ri --resource-file-only "$here/app.lsp" "$here/desktop.lsp" || { echo "FAIL image build"; exit 1; }
printf 'quit\n' > replay.txt
out=$("$velora" --image desk.ri --headless --replay replay.txt 2>err.txt)
expect "desktop" $'loaded\nscreen 1280 1024\nposition (30 . 40) ()\nmaximized t\nrestored ()\ncursor t\nhidden ()\nshown t\nasked 300\nstart-appl' "$out"
expect "desktop: a position that is no point; a cursor that is no id" \
    $'Error: 1010-2, 5, #<class VELORA>, (), ()\nError: 1010-2, nothing, #<class VELORA>, (), ()' "$(cat err.txt)"

# A second copy hands its document to the first and exits 0.
"$builder" --output copy.ri --resource-file-only "$here/app.lsp" "$here/second-copy.lsp" || { echo "FAIL image build"; exit 1; }
mkdir -p instances
: > replay.txt
VELORA_INSTANCE_FOLDER="$work/instances" "$velora" --image copy.ri --headless --replay replay.txt > first.txt 2>&1 &
first=$!
for _ in $(seq 600); do
    [ -S "$(ls -d instances/*.sock 2>/dev/null | head -1)" ] && break
    sleep 0.05
done
second=$(VELORA_INSTANCE_FOLDER="$work/instances" "$velora" --image copy.ri --headless doc.txt 2>&1); status=$?
expect "second copy: status" 0 $status
expect "second copy: output" "" "$second"
wait $first
# The document arrives while the boot lets requests in, or later while start-appl waits.
expect "first copy: the document" $'loaded\nopen-file doc.txt\nstart-appl' "$(sort first.txt | sed -n '1p;2p;3p')"

echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
