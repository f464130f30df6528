#!/usr/bin/env bash
# Runs a Windows command-line tool under Wine as a Linux script would run a
# tool: standard input passed on, its exit status, and its output as the
# program wrote it: the C runtime's text mode writes each LF as CR LF, which
# is turned back (a CR the program wrote itself stays).
#   wine-tool.sh PROGRAM.exe ARGS...
set -u
here=$(dirname "$0")
out=$(mktemp)
err=$(mktemp)
"$here/wine-run.sh" "$@" >"$out" 2>"$err"
rc=$?
sed 's/\r$//' "$out"
sed 's/\r$//' "$err" >&2
rm -f "$out" "$err"
exit $rc
