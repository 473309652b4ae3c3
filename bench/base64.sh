#!/bin/sh
# Base64 encoding and decoding of a 100 MB file through Base64-Stream (line length 76) and with
# coreutils base64 -w 76, in the same run, alternating, best time of each and the ratios. Both
# encoded texts must agree once Velora's carriage returns are removed, and both decodings must
# give the source back.
# Usage: bench/base64.sh [path/to/velora] [megabytes] [runs]
set -eu
velora=${1:-build/velora}
megabytes=${2:-100}
runs=${3:-3}
dir=$(mktemp -d "${TMPDIR:-/tmp}/velora-base64-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
head -c "$((megabytes * 1024 * 1024))" /dev/urandom > "$dir/source"
lisp=$(printf '%s' "$dir" | sed 's|^/||; s|/|\\\\|g')
path() { printf '"C:\\\\%s\\\\%s"' "$lisp" "$1"; }

cat > "$dir/base64.lisp" <<LISP
(define (open-file _path _mode)
  (let ((_f (make-instance obj-file)))
    (_f (link-object)) (_f (set! pathname _path)) (_f (set! mode _mode)) (_f (open)) _f))
(define (base64-over _inner)
  (let ((_b (make-instance Base64-Stream)))
    (_b (link-object)) (_b (set! stream _inner)) (_b (set! line-length 76)) (_b (open)) _b))
(define Chunk 1048576)
(define (copy _from _to _h)
  (let ((_n (_from (read-block _h Chunk))))
    (when (> _n 0) (_to (write-block _h _n)) (copy _from _to _h))))
(define (encode _source _target)
  (let* ((_in (open-file _source 'input)) (_out (open-file _target 'output)) (_b (base64-over _out)))
    (copy _in _b (new-handle Chunk))
    (_b (destroy-c)) (_out (destroy-c)) (_in (destroy-c))))
(define (decode _source _target)
  (let* ((_in (open-file _source 'input)) (_b (base64-over _in)) (_out (open-file _target 'output)))
    (copy _b _out (new-handle Chunk))
    (_out (destroy-c)) (_b (destroy-c)) (_in (destroy-c))))
LISP

{ cat "$dir/base64.lisp"; printf '(encode %s %s)\n' "$(path source)" "$(path by-velora.b64)"; } > "$dir/encode.lisp"
{ cat "$dir/base64.lisp"; printf '(decode %s %s)\n' "$(path by-velora.b64)" "$(path by-velora.bin)"; } > "$dir/decode.lisp"

now() { date +%s.%N; }
best() { echo "$2 - $1" | bc -l | awk -v b="$3" '{ print ($1 < b) ? $1 : b }'; }
enc_core=999999 dec_core=999999 enc_velora=999999 dec_velora=999999 start_velora=999999
i=0
while [ "$i" -lt "$runs" ]; do
    rm -f "$dir"/by-*
    s=$(now); base64 -w 76 "$dir/source" > "$dir/by-coreutils.b64"; e=$(now); enc_core=$(best "$s" "$e" "$enc_core")
    s=$(now); base64 -d "$dir/by-coreutils.b64" > "$dir/by-coreutils.bin"; e=$(now); dec_core=$(best "$s" "$e" "$dec_core")
    s=$(now); "$velora" --script "$dir/encode.lisp" > /dev/null
    e=$(now); enc_velora=$(best "$s" "$e" "$enc_velora")
    s=$(now); "$velora" --script "$dir/decode.lisp" > /dev/null
    e=$(now); dec_velora=$(best "$s" "$e" "$dec_velora")
    s=$(now); "$velora" --script "$dir/base64.lisp" > /dev/null; e=$(now); start_velora=$(best "$s" "$e" "$start_velora")
    tr -d '\r' < "$dir/by-velora.b64" | cmp -s - "$dir/by-coreutils.b64" || { echo "the encoded texts differ" >&2; exit 1; }
    cmp -s "$dir/source" "$dir/by-velora.bin" || { echo "Velora's decoding differs from the source" >&2; exit 1; }
    cmp -s "$dir/source" "$dir/by-coreutils.bin" || { echo "coreutils' decoding differs" >&2; exit 1; }
    i=$((i + 1))
done
printf 'Base64 of %d MB, line length 76, best of %d runs (velora times include start-up, %.3f s)\n' \
       "$megabytes" "$runs" "$start_velora"
printf '  encode  base64 %.3f s  Base64-Stream %.3f s  ratio %.2f\n' "$enc_core" "$enc_velora" \
       "$(echo "$enc_velora / $enc_core" | bc -l)"
printf '  decode  base64 %.3f s  Base64-Stream %.3f s  ratio %.2f\n' "$dec_core" "$dec_velora" \
       "$(echo "$dec_velora / $dec_core" | bc -l)"
