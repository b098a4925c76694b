#!/usr/bin/env bash
# The Wine runner leaves no process behind on its caller's output: a build step (ninja) or a
# test (CTest) that reads a program's output through a pipe gets its end of file when the
# program ends, also when the run is the first one since the prefix's server ended and so starts
# Wine's server and services.
#   windows_wine_run_pipe.sh wine-run.sh program.exe [arguments...]
set -uo pipefail
runner=$1
shift
work=$(mktemp -d)
export ZP_WINEPREFIX=$work/prefix
trap '"$runner" --stop; rm -rf "$work"' EXIT
"$runner" --init
"$runner" --stop
timeout -s KILL 60 bash -c '"$0" "$@" 2>&1 | cat >/dev/null' "$runner" "$@"
status=$?
if [ "$status" -eq 137 ]; then
  echo "the output pipe stayed open after the program had ended (60 s)" >&2
  exit 1
fi
echo "the pipe closed with the program (exit status $status)"
