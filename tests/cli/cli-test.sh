#!/usr/bin/env bash
# The command line: --version, --eval, --script and --repl, with their output, error lines and
# exit status. Usage: cli-test.sh path/to/velora
set -u
velora=$1
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

out=$("$velora" --version); expect version "Velora" "${out%% *}"

out=$("$velora" --eval '(+ 1 2)'); status=$?
expect "eval prints the value" "3" "$out"
expect "eval status" 0 $status

out=$("$velora" --eval '"a b"'); expect "eval prints in print style" "a b" "$out"

# --headless keeps sound on the null device, even where SDL's dummy driver would open.
out=$(SDL_AUDIODRIVER=dummy "$velora" --headless --eval '(can-play-sound?)'); expect "headless: no output device" "()" "$out"
out=$(SDL_AUDIODRIVER=dummy VELORA_HEADLESS=1 "$velora" --eval '(can-play-sound?)'); expect "VELORA_HEADLESS=1 likewise" "()" "$out"
out=$(SDL_AUDIODRIVER=dummy "$velora" --eval '(can-play-sound?)'); expect "the dummy driver is a device" "t" "$out"

err=$("$velora" --eval '(car 5)' 2>&1 >/dev/null); status=$?
expect "eval error line, then the error in words" $'Error: 1010-2, 5, #<class VELORA>, (), ()\n  (wrong type)' "$err"
expect "eval error status" 1 $status

cat > "$work/s.lisp" <<'LISP'
(princ 1)
(car 'x)
(princ 2)
(define (f _n) (f (+ _n 1)))
(f 0)
(princ 3)
LISP
out=$("$velora" --script "$work/s.lisp" 2>"$work/err"); status=$?
expect "script goes on after errors" $'1\n2\n3' "$out"
expect "script error lines" $'Error: 1010-2, x, #<class VELORA>, (), ()\n  (wrong type)\nError: 1010-9, (), #<class VELORA>, (), ()\n  (memory exhausted)' "$(cat "$work/err")"
expect "script status after errors" 1 $status

printf '(princ "ok")\n' > "$work/ok.lisp"
out=$("$velora" --script "$work/ok.lisp" 2>&1); status=$?
expect "script without errors" "ok" "$out"
expect "script status without errors" 0 $status

printf '(princ 1) (car\n' > "$work/open.lisp"
out=$("$velora" --script "$work/open.lisp" 2>&1); status=$?
expect "unfinished form" $'1\nError: 1010-25, (), #<class VELORA>, (), ()\n  (syntax error or unexpected end of input)' "$out"

cat > "$work/trap.lisp" <<'LISP'
(define (error-trap _f _c _v _o _a _b) (car 'again))
(set! Error-Handler 'me)
(car 5)
(princ 'after)
LISP
out=$("$velora" --script "$work/trap.lisp" 2>&1); status=$?
expect "an error inside the error handler is reported in turn" $'Error: 1010-2, again, me, (), ()\n  (wrong type)\nafter' "$out"

err=$("$velora" --eval '(+ (vector->list (make-vector 1000 1)) 1)' 2>&1 >/dev/null)
err=$(head -n 1 <<< "$err")
expect "a long culprit is cut to 799 characters" 839 ${#err}
err=$("$velora" --eval '(begin (define x (list 1 2)) (set-cdr! (cdr x) x) (+ x 1))' 2>&1 >/dev/null)
expect "the report of a circular culprit" "Error: 1010-2, (1 2 1...), #<class VELORA>, (), ()" "$(head -n 1 <<< "$err")"

"$velora" --script "$work/missing.lisp" 2>/dev/null; status=$?
expect "missing script file" 2 $status

out=$(printf '(+ 1 2)\n(car 5)\n(list 1\n 2)\n' | "$velora" --repl 2>&1 | grep -v '^velora> $' | tr -d '\r')
case "$out" in
    *3*"Error: 1010-2, 5"*"(1 2)"*) passed=$((passed + 1)) ;;
    *) failed=$((failed + 1)); printf 'FAIL repl\n  got: %q\n' "$out" ;;
esac

# Scripts of one character that cannot be read end by themselves, with their reports.
while IFS='|' read -r text status report; do
    printf '%s' "$text" > "$work/one.lisp"
    err=$(timeout 10 "$velora" --script "$work/one.lisp" 2>&1 >/dev/null); got=$?
    expect "script of $text: status" "$status" "$got"
    expect "script of $text: report" "$report" "$(head -n 1 <<< "$err")"
done <<'CASES'
{|1|Error: 1010-2, (), #<class VELORA>, (), ()
#{|1|Error: 1010-25, (), #<class VELORA>, (), ()
(|1|Error: 1010-25, (), #<class VELORA>, (), ()
"|1|Error: 1010-25, (), #<class VELORA>, (), ()
#\|1|Error: 1010-25, (), #<class VELORA>, (), ()
)|1|Error: 1010-25, (), #<class VELORA>, (), ()
.|1|Error: 1010-25, (), #<class VELORA>, (), ()
CASES
printf '|' > "$work/bar.lisp"
err=$(timeout 10 "$velora" --script "$work/bar.lisp" 2>&1 >/dev/null); got=$?
expect "script of a vertical bar" $'1\nError: 1010-6, |, #<class VELORA>, (), ()' "$got"$'\n'"$(head -n 1 <<< "$err")"

# After the reader's error the rest of the script still runs.
printf '{a} (princ 1)\n) (princ 2)' > "$work/after.lisp"
out=$(timeout 10 "$velora" --script "$work/after.lisp" 2>/dev/null); status=$?
expect "forms after unreadable ones run" $'1\n2' "$out"
expect "forms after unreadable ones: status" 1 $status

# Running out of memory is reported, and the forms after it run on the reserve.
cat > "$work/oom.lisp" <<'LISP'
(define big nil)
(while t (set! big (cons 1 big)))
(set! big nil)
(prin "ALIVE")
LISP
out=$(timeout 60 "$velora" --script "$work/oom.lisp" 2>"$work/err"); status=$?
expect "out of memory, then the next forms" "ALIVE" "$out"
expect "out of memory: status" 1 $status
expect "out of memory: the report" "Out of Memory" "$(cat "$work/err")"
cat > "$work/oom-strings.lisp" <<'LISP'
(define big nil)
(while t (set! big (cons (make-string 1000 65) big)))
(set! big nil)
(prin "ALIVE")
(define n 0)
(while t (string->symbol (string-append "s" (number->string n))) (set! n (+ n 1)))
(prin 'ALIVE-AGAIN)
LISP
out=$(timeout 60 "$velora" --script "$work/oom-strings.lisp" 2>"$work/err"); status=$?
expect "strings and symbols run out, then the next forms" "ALIVEALIVE-AGAIN" "$out"
expect "strings and symbols run out: reports" $'Out of Memory\nError: 1010-9, (), #<class VELORA>, (), ()\n  (memory exhausted)' "$(cat "$work/err")"

# The REPL shows values as they are typed.
out=$(printf '"a"\n(list "b" (quote c) (vector 1 "d"))\n' | "$velora" --repl 2>&1 | tr -d '\r' | grep -v '^velora> $' | sed 's/^velora> //')
expect "repl shows strings with their quotes" $'"a"\n("b" c #(1 "d"))' "$out"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
