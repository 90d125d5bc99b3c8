#!/bin/sh
# A manual page renders without warnings and has every section a manual page has.
page=$1 text=$(mktemp)
trap 'rm -f "$text"' EXIT
warnings=$(man --warnings -l "$page" 2>&1 >"$text") || { echo "man -l $page failed: $warnings"; exit 1; }
[ -z "$warnings" ] || { echo "man -l $page warns: $warnings"; exit 1; }
for heading in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT 'EXIT STATUS' FILES EXAMPLES 'SEE ALSO'; do
  grep -qx "$heading" "$text" || { echo "$page has no section $heading"; exit 1; }
done
! grep -n 'build/\|\.\./imagebuilder\|\.\./partshell' "$text" || { echo "$page names build-tree paths"; exit 1; }
