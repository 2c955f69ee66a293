#!/usr/bin/env bash
# Runs the README's end-to-end example as written (the first sh block after its marker line),
# from a stand-in repository whose build/bin holds the programs under test, with a home of its
# own and the plain C locale, so the example cannot drift from what the programs do, nor print a
# complaint on the way.
# Usage: run_example.sh README.md SOURCE_DIR BIN_DIR
set -euo pipefail
readme=$(realpath "$1") source=$(realpath "$2") bin=$(realpath "$3")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/repo/build" "$scratch/home"
ln -s "$bin" "$scratch/repo/build/bin"
ln -s "$source/resources" "$scratch/repo/resources"

example=$(awk '/<!-- end-to-end example -->/ { marked = 1 }
               marked && /^```sh$/ { inside = 1; next }
               inside && /^```$/ { exit }
               inside { print }' "$readme")
[ -n "$example" ] || { echo "the README has no end-to-end example" >&2; exit 1; }

cd "$scratch/repo"
status=0
env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$scratch/home" LC_ALL=C LANG= \
    TMPDIR="$scratch" bash -euo pipefail -c "$example" 2>"$scratch/stderr.txt" || status=$?
# A run that goes well says nothing on stderr: whatever appears there, a reader would see too.
[ "$status" = 0 ] && [ ! -s "$scratch/stderr.txt" ] ||
    { echo "the example exited $status, with on stderr:" >&2; cat "$scratch/stderr.txt" >&2; exit 1; }
