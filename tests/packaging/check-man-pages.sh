#!/usr/bin/env bash
# Checks the man pages: one per program, each formats without any warning
# of groff (all warnings on), and each carries the project's version.
#
#   check-man-pages.sh VERSION FOLDER PROGRAM...
set -uo pipefail
version=$1
folder=$2
shift 2
if ! command -v groff >/dev/null 2>&1; then
  echo "groff is missing: scripts/install-deps.sh test installs it" >&2
  exit 1
fi
status=0
for program in "$@"; do
  page=$folder/$program.1
  if [ ! -f "$page" ]; then
    echo "$program: no man page $page" >&2
    status=1
    continue
  fi
  # Formatting for a terminal also reports lines that cannot be broken.
  warnings=$(groff -man -ww -z -Tutf8 "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$program: groff warns about $page:" >&2
    echo "$warnings" >&2
    status=1
  fi
  th=$(grep -m1 '^\.TH ' "$page")
  upper=$(echo "$program" | tr '[:lower:]' '[:upper:]')
  case $th in
    ".TH $upper 1 "*"\"qxarc $version\""*) ;;
    *)
      echo "$program: the title line of $page does not name section 1 and qxarc $version: $th" >&2
      status=1
      ;;
  esac
done
[ "$status" = 0 ] && echo "man pages of $*: no warnings, version $version"
exit "$status"
