#!/usr/bin/env bash
# Images built by velora-image: run appended to the executable, with --image, and as an RI file
# beside it; a missing image; units that do not read. Usage: image-test.sh velora velora-image
set -u
velora=$1
builder=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

expect() { # name, expected, actual
    if [ "$2" == "$3" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL %s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"
    fi
}

cd "$work"
echo '(prin "one")' > one.lsp
echo '(prin "two")' > two.lsp

"$builder" --output app --base "$velora" one.lsp two.lsp; expect "quick form builds" 0 $?
out=$(./app); status=$?
expect "appended image" onetwo "$out"
expect "appended image status" 0 $status

"$builder" --output app.ri --resource-file-only one.lsp two.lsp; expect "resource file builds" 0 $?
out=$("$velora" --image app.ri); expect "--image" onetwo "$out"

# A base that already carries an image gets the new one instead.
echo '(prin "three")' > three.lsp
"$builder" --output app3 --base ./app three.lsp
out=$(./app3); expect "rebuilt on an image-carrying base" three "$out"

cp "$velora" ./runtime
cp app.ri runtime.RI
out=$(./runtime); expect "RI file beside the executable" onetwo "$out"
rm runtime.RI
err=$(./runtime 2>&1 >/dev/null); status=$?
expect "missing image: alert 5200" "The file $work/runtime.RI was not found!" "$err"
expect "missing image: status" 255 $status
err=$("$velora" --image "$work/none.ri" 2>&1 >/dev/null); status=$?
expect "missing --image: alert 5200" "The file $work/none.ri was not found!" "$err"
expect "missing --image: status" 255 $status

# A damaged image is no image.
head -c 300 app.ri > cut.ri
"$velora" --image cut.ri >/dev/null 2>&1; expect "truncated image refused" 255 $?

# An error in one unit ends that unit; the next one runs.
printf '(prin "a")\n(car 5)\n(prin "b")\n' > bad.lsp
"$builder" --output errs.ri --resource-file-only bad.lsp two.lsp
out=$("$velora" --image errs.ri 2>"$work/err"); status=$?
expect "error ends the unit" atwo "$out"
expect "error line" "Error: 1010-2, 5, #<class VELORA>, (), ()" "$(cat "$work/err")"
expect "error status" 1 $status

# Units that do not read stop the build with the file, line and column.
printf '(prin "x")\n  (prin (car "y")\n' > open.lsp
err=$("$builder" --output x.ri --resource-file-only open.lsp 2>&1); status=$?
expect "unbalanced status" 1 $status
expect "unbalanced report" "velora-image: open.lsp:2:3: the form starting here does not end (Error: 1010-25, (), #<class VELORA>, (), ())" "$err"
printf '(prin "x"))\n' > close.lsp
err=$("$builder" --output x.ri --resource-file-only close.lsp 2>&1)
expect "stray parenthesis" "velora-image: close.lsp:1:11: a closing parenthesis with no open list" "$err"
[ ! -e x.ri ]; expect "no output after a failed build" 0 $?

# Compact tokens: small integers, symbols past the first 4096, keywords and variables survive.
{
    echo '(define (show _x) (prin _x) (prin " "))'
    for i in $(seq 1 4200); do echo "(define sym$i $i)"; done
    echo '(show sym4200) (show -1) (show -32768) (show 40000) (show :kw) (show (quote (a . b))) (show "q\"s")'
} > many.lsp
"$builder" --output many.ri --resource-file-only many.lsp
out=$("$velora" --image many.ri); expect "many symbols" '4200 -1 -32768 40000 :kw (a . b) q"s ' "$out"

# A description: units, a string list, a resource taken from a file, and a short PREF (padded
# with zeros: its sizes make no sense, so the compiled-in ones stay).
mkdir desc
echo '(prin (get-ind-string 128 2)) (prin (sizeresource (getresource "DATA" 5)))' > desc/unit.lsp
printf 'abcdefg' > desc/data.bin
printf '\x00\x01' > desc/pref.bin
cat > desc/app.image <<'IMAGE'
(units "unit.lsp")
(strings 128 "Words" ("first" "second"))
(resource "DATA" 5 "Seven" 0 "data.bin")
(resource "PREF" 256 "" 0 "pref.bin")
IMAGE
"$builder" --output desc.ri --resource-file-only desc/app.image; expect "description builds" 0 $?
out=$("$velora" --image desc.ri); expect "description" "second7" "$out"
printf '(units "unit.lsp")\n(resource "DATA" 5 "x" 0 "missing.bin")\n' > desc/bad.image
err=$("$builder" --output bad.ri --resource-file-only desc/bad.image 2>&1); status=$?
expect "missing resource file" "1 velora-image: cannot read desc/missing.bin" "$status $err"

echo "image: $passed passed, $failed failed"
[ $failed -eq 0 ]
