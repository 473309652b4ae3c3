#!/usr/bin/env bash
# Searching 5 patterns in a 50 MB buffer: Velora's search-buffer-subr against grep -F, in the same
# run, over the same bytes. The buffer is text of pseudo-random words (a 64 KB block repeated) with
# the patterns planted near its end, each on a line of its own; both count the occurrences, and
# the counts must agree. Velora's time is that of the search loop alone (the buffer is already in
# memory); grep's is the whole grep -F -c process over the file (already in the page cache). Best
# of three each.
# Usage: bench/search.sh [path/to/velora]   (a Release build: make build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
velora=${1:-$here/../build/velora}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
size=$((50 * 1024 * 1024))
patterns=(quixotic zephyrus lorinfall velorama xylophonic)

# The seed block, the buffer file and the Lisp program that builds the same buffer in memory.
python3 - "$work" "$size" "${patterns[@]}" <<'PY'
import random, sys
work, size, patterns = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
random.seed(11)
letters = "etaoinshrdlcumwfgypbvk"
words, n = [], 0
while n < 65536:
    word = "".join(random.choice(letters) for _ in range(random.randint(2, 9)))
    words.append(word)
    n += len(word) + 1
seed = " ".join(words)[:65535] + "\n"
plants = [(size - 4096 * (i + 1), p) for i, p in enumerate(patterns * 3)]
buffer = bytearray((seed.encode() * (size // len(seed) + 1))[:size])
for at, p in plants:
    line = b"\n" + p.encode() + b"\n"
    buffer[at - 1:at - 1 + len(line)] = line
with open(f"{work}/buffer.txt", "wb") as f:
    f.write(buffer)
lisp = f"""
(define Size {size})
(define Seed "{seed[:-1]}")
(define Plants '({" ".join(f'({at} "{p}")' for at, p in plants)}))
(define Patterns '({" ".join(f'"{p}"' for p in patterns)}))
"""
lisp += r"""
; The buffer: the seed and its line end repeated by doubling, then the plants on lines of their own.
(define Buffer (new-ptr Size))
(put-string-text Seed Buffer)
(mset 1 10 Buffer (string-length Seed))
(define (fill-from _n)
  (when (< _n Size)
    (block-move Buffer (add-ptr Buffer _n) (min _n (- Size _n)))
    (fill-from (* _n 2))))
(fill-from (+ (string-length Seed) 1))
(for-each (lambda (_p)
            (mset 1 10 Buffer (- (car _p) 1))
            (put-string-text (car (cdr _p)) (add-ptr Buffer (car _p)))
            (mset 1 10 Buffer (+ (car _p) (string-length (car (cdr _p))))))
          Plants)
(define (count-all)
  (let ((_count 0) (_at 0) (_found t))
    (while _found
      (set! _found (search-buffer-subr Patterns Buffer _at Size nil nil nil))
      (when _found (set! _count (+ _count 1)) (set! _at (+ (cdr _found) 1))))
    _count))
(define Best nil)
(define Count 0)
(for-each (lambda (_i)
            (let ((_start (milliseconds)))
              (set! Count (count-all))
              (let ((_t (- (milliseconds) _start)))
                (when (or (null? Best) (< _t Best)) (set! Best _t)))))
          '(1 2 3))
(princ (list Count Best))
"""
with open(f"{work}/search.lisp", "w") as f:
    f.write(lisp)
PY

read -r vcount vms < <(VELORA_GC_STRESS= "$velora" --script "$work/search.lisp" | tail -n 1 | tr -d '()')
args=()
for p in "${patterns[@]}"; do args+=(-e "$p"); done
best=""
for _ in 1 2 3; do
    start=$(date +%s%N)
    gcount=$(grep -F -c "${args[@]}" "$work/buffer.txt")
    end=$(date +%s%N)
    t=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
echo "search of ${#patterns[@]} patterns in $((size / 1024 / 1024)) MB (ms, best of three)"
printf '%-22s %8s %8s\n' tool matches ms
printf '%-22s %8s %8s\n' "velora search-buffer" "$vcount" "$vms"
printf '%-22s %8s %8s\n' "grep -F -c" "$gcount" "$best"
[ "$vcount" == "$gcount" ] || { echo "the counts differ"; exit 1; }
echo "ratio velora/grep: $(echo "scale=2; $vms / $best" | bc)"
