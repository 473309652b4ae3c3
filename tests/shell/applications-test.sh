#!/usr/bin/env bash
# Runs applications.lisp with the application-data, program-menu and menu-entry folders in a
# scratch folder. Usage: applications-test.sh path/to/velora
set -u
velora=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scratch" "$work/menu"
printf '#!/bin/sh\nsleep 0.5\n' > "$work/scratch/nap"
chmod +x "$work/scratch/nap"
# Lisp paths of the two folders: C: is the host's root.
lisp() { printf '"C:%s"' "$(printf '%s' "$1" | sed 's|/|\\\\|g')"; }
printf '(define Scratch %s)\n(define Menu %s)\n' "$(lisp "$work/scratch")" "$(lisp "$work/menu")" > "$work/prelude.lisp"
VELORA_APPDATA_DIR="$work/appdata" VELORA_PROGRAM_MENU_DIR="$work/menu" XDG_DATA_HOME="$work/data" \
VELORA_OPENER=/bin/true VELORA_DRIVES= \
    "$velora" --script "$here/../lisp/check.lisp" "$work/prelude.lisp" "$here/applications.lisp" \
        "$here/../lisp/check-end.lisp"
