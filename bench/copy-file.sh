#!/bin/sh
# Copies a 100 MB file with copy-file (with and without a progress function) and with cp, in the
# same run, alternating, and reports the best time of each and the ratios. Each copy starts after a
# sync, so that none pays for writing back the one before.
# Usage: bench/copy-file.sh [path/to/velora] [megabytes] [runs]
set -eu
velora=${1:-build/velora}
megabytes=${2:-100}
runs=${3:-5}
dir=$(mktemp -d "${TMPDIR:-/tmp}/velora-copy-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
head -c "$((megabytes * 1024 * 1024))" /dev/urandom > "$dir/source"
lisp=$(printf '%s' "$dir" | sed 's|^/||; s|/|\\\\|g')

now() { date +%s.%N; }
best_cp=999999 best_plain=999999 best_progress=999999 best_start=999999
i=0
while [ "$i" -lt "$runs" ]; do
    rm -f "$dir/by-cp" "$dir/by-velora" "$dir/by-velora-progress"
    sync
    start=$(now); cp "$dir/source" "$dir/by-cp"; end=$(now)
    best_cp=$(echo "$end - $start" | bc -l | awk -v b="$best_cp" '{ print ($1 < b) ? $1 : b }')
    sync
    start=$(now)
    "$velora" --eval "(copy-file \"C:\\\\$lisp\\\\source\" \"C:\\\\$lisp\\\\by-velora\" nil)" > /dev/null
    end=$(now)
    best_plain=$(echo "$end - $start" | bc -l | awk -v b="$best_plain" '{ print ($1 < b) ? $1 : b }')
    sync
    start=$(now)
    "$velora" --eval "(copy-file \"C:\\\\$lisp\\\\source\" \"C:\\\\$lisp\\\\by-velora-progress\" (lambda (_k) (+ _k 1)))" > /dev/null
    end=$(now)
    best_progress=$(echo "$end - $start" | bc -l | awk -v b="$best_progress" '{ print ($1 < b) ? $1 : b }')
    start=$(now); "$velora" --eval 1 > /dev/null; end=$(now)
    best_start=$(echo "$end - $start" | bc -l | awk -v b="$best_start" '{ print ($1 < b) ? $1 : b }')
    cmp -s "$dir/source" "$dir/by-velora" || { echo "copy-file made a different file" >&2; exit 1; }
    cmp -s "$dir/source" "$dir/by-velora-progress" || { echo "copy-file made a different file" >&2; exit 1; }
    i=$((i + 1))
done
printf 'copy of %d MB, best of %d runs (velora times include starting the runtime)\n' "$megabytes" "$runs"
printf '  cp                        %.4f s\n' "$best_cp"
printf '  copy-file                 %.4f s  ratio %.2f\n' "$best_plain" "$(echo "$best_plain / $best_cp" | bc -l)"
printf '  copy-file with progress   %.4f s  ratio %.2f\n' "$best_progress" "$(echo "$best_progress / $best_cp" | bc -l)"
printf '  velora start-up alone     %.4f s\n' "$best_start"
printf '  copy-file less start-up   %.4f s  ratio %.2f\n' "$(echo "$best_plain - $best_start" | bc -l)" \
       "$(echo "($best_plain - $best_start) / $best_cp" | bc -l)"
