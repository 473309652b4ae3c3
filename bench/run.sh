#!/usr/bin/env bash
# Runs the language benchmarks on Velora and, side by side, on the interpreters installed from
# Debian (tinyscheme, elk, chicken's csi, newlisp). Each program prints a result that is checked
# against Velora's; a peer that fails, runs out of memory or prints another result is marked.
# Usage: bench/run.sh [path/to/velora]   (a Release build: make build)
set -u
here=$(cd "$(dirname "$0")" && pwd)
velora=${1:-$here/../build/velora}
programs=$here/programs
peers=(tinyscheme elk csi newlisp)

"$here/../scripts/deps.sh" --bench || exit 1

# Best wall-clock time of three runs, and the last line printed.
measure() {
    local best="" out="" t start end
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        out=$(timeout 120 "$@" 2>&1 | tail -n 1)
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" -eq 1 ]; then best=$t; fi
    done
    printf '%s\t%s\n' "$best" "$out"
}

command_for() { # peer, program
    local peer=$1 name=$2 scm=$programs/$2.scm
    [ -f "$programs/$name-$peer.scm" ] && scm=$programs/$name-$peer.scm
    case $peer in
        tinyscheme) echo "tinyscheme $scm" ;;
        elk) echo "elk -h 65536 -l $scm" ;;
        csi) echo "csi -s $scm" ;;
        newlisp) echo "newlisp $programs/$name.lsp" ;;
    esac
}

printf '%-10s %10s' program velora
for p in "${peers[@]}"; do printf ' %12s' "$p"; done
echo
for program in fib lists sort strings bigint; do
    IFS=$'\t' read -r vt vout < <(measure "$velora" --script "$programs/$program.lisp")
    printf '%-10s %10.3f' "$program" "$vt"
    for p in "${peers[@]}"; do
        if ! command -v "$p" >/dev/null; then printf ' %12s' "absent"; continue; fi
        IFS=$'\t' read -r pt pout < <(measure $(command_for "$p" "$program"))
        if [ "$pout" == "$vout" ]; then printf ' %12.3f' "$pt"; else printf ' %12s' "failed"; fi
    done
    echo
done
echo "(seconds, best of three; failed: no result, or a result other than Velora's)"
