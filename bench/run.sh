#!/usr/bin/env bash
# Runs each benchmark program on Velora and, in their own dialects, on tinyscheme, elk, newlisp
# and chicken's csi, and prints the wall-clock seconds side by side. A program NAME is
# bench/NAME.lisp for Velora, bench/NAME.scm for the Scheme systems and bench/NAME.lsp for
# newLISP. Velora should be a Release build: VELORA=path/to/velora (default build-release/velora).
# The other systems come from Debian: scripts/deps.sh --bench installs them.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
velora=${VELORA:-$here/../build-release/velora}
limit=${LIMIT:-300} # seconds a run may take

# Prints the seconds a command took, or why it gave no answer.
measure() {
    local out status start end
    start=$(date +%s.%N)
    out=$(cd "$here" && timeout "$limit" "$@" < /dev/null 2>&1)
    status=$?
    end=$(date +%s.%N)
    if [ $status -eq 124 ]; then
        echo "timeout"
    elif [ $status -ne 0 ] || ! grep -q '^[0-9]' <<< "$out"; then
        echo "failed: $(tr '\n' ' ' <<< "$out" | cut -c1-40)"
    else
        printf '%.2f (%s)' "$(bc <<< "$end - $start")" "$(grep '^[0-9]' <<< "$out" | tail -1)"
    fi
}

run() { # system program-file
    local system=$1 file=$2
    [ -f "$here/$file" ] || { echo "-"; return; }
    case $system in
    velora) [ -x "$velora" ] && measure "$velora" --script "$file" || echo "not built" ;;
    tinyscheme) command -v tinyscheme > /dev/null && measure tinyscheme "$file" || echo "not installed" ;;
    elk) command -v elk > /dev/null && measure elk -l "$file" || echo "not installed" ;;
    csi) command -v csi > /dev/null && measure csi -s "$file" || echo "not installed" ;;
    newlisp) command -v newlisp > /dev/null && measure newlisp "$file" || echo "not installed" ;;
    esac
}

printf '%-10s %-22s %-22s %-22s %-22s %-22s\n' program velora tinyscheme elk csi newlisp
for program in "$here"/*.lisp; do
    name=$(basename "$program" .lisp)
    printf '%-10s %-22s %-22s %-22s %-22s %-22s\n' "$name" \
        "$(run velora "$name.lisp")" "$(run tinyscheme "$name.scm")" "$(run elk "$name.scm")" \
        "$(run csi "$name.scm")" "$(run newlisp "$name.lsp")"
done
echo "seconds of wall-clock time (the program's answer in parentheses)"
