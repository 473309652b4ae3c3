#!/bin/sh
# The lexical automaton over 10 MB of Lisp-like text (numbers, identifiers, parentheses) against a
# flex-generated C scanner for the same token set, in the same run: both print the counts of each
# token kind, which must agree. Best wall-clock time of three each; Velora's includes starting
# the runtime and building the lexer (printed apart).
# Usage: bench/lexer.sh [path/to/velora] [megabytes]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
velora=${1:-$here/../build/velora}
megabytes=${2:-10}
"$here/../scripts/deps.sh" --bench
dir=$(mktemp -d "${TMPDIR:-/tmp}/velora-lexer-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
python3 - "$dir/input.txt" "$megabytes" <<'PY'
import random, sys
random.seed(7)
path, size = sys.argv[1], int(sys.argv[2]) << 20
letters = "abcdefghijklmnopqrstuvwxyz-*+"
def ident():
    return random.choice("abcdefghijklmnopqrstuvwxyz") + "".join(random.choice(letters) for _ in range(random.randint(0, 9)))
def number():
    n = str(random.randint(0, 99999))
    return n + "." + str(random.randint(0, 999)) if random.random() < 0.3 else n
out, n = [], 0
while n < size:
    words = [ident() if random.random() < 0.6 else number() for _ in range(random.randint(1, 6))]
    line = "(" + " ".join(words) + ")\n"
    out.append(line)
    n += len(line)
open(path, "w").write("".join(out)[:size - 1] + "\n")
PY
flex -o "$dir/lexer.c" "$here/lexer.l"
cc -O2 -o "$dir/flexlexer" "$dir/lexer.c"
lisp=$(printf '%s' "$dir" | sed 's|^/||; s|/|\\\\|g')
{ cat "$here/lexer.lisp"; printf '(lex-file "C:\\\\%s\\\\input.txt")\n' "$lisp"; } > "$dir/run.lisp"
{ cat "$here/lexer.lisp"; printf '(lisp-lexer)\n'; } > "$dir/start.lisp"

now() { date +%s.%N; }
best() { echo "$2 - $1" | bc -l | awk -v b="$3" '{ print ($1 < b) ? $1 : b }'; }
t_flex=999999 t_velora=999999 t_start=999999
for _ in 1 2 3; do
    s=$(now); flex_out=$("$dir/flexlexer" "$dir/input.txt"); e=$(now); t_flex=$(best "$s" "$e" "$t_flex")
    s=$(now); velora_out=$("$velora" --script "$dir/run.lisp" | tail -n 1)
    e=$(now); t_velora=$(best "$s" "$e" "$t_velora")
    s=$(now); "$velora" --script "$dir/start.lisp" > /dev/null; e=$(now); t_start=$(best "$s" "$e" "$t_start")
done
[ "$flex_out" = "$velora_out" ] || { echo "the counts differ: flex $flex_out, velora $velora_out" >&2; exit 1; }
printf 'lexing %d MB, counts (identifiers numbers parens characters) %s, best of 3\n' "$megabytes" "$flex_out"
printf '  flex scanner  %.3f s\n' "$t_flex"
printf '  Lexer         %.3f s (start-up and lexer construction %.3f s)  ratio %.1f\n' "$t_velora" "$t_start" \
       "$(echo "$t_velora / $t_flex" | bc -l)"
