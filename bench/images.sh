#!/usr/bin/env bash
# Pictures and image decoding beside ImageMagick's convert (installed by scripts/deps.sh --bench).
# Usage: bench/images.sh [--dump DIR]   (after make build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
"$here/../scripts/deps.sh" --bench
exec "$here/../build/bench/velora_image_bench" "$@"
