#!/bin/sh
# Prepares one timed run of scripts/bench.sh: moves the output of the
# previous run (a file or folder, if present) into the trash folder instead
# of deleting it, then flushes dirty data so no run pays for writing back
# another run's output.
#
#   aside.sh PATH TRASH
#
# Why not delete: on ext4 without a journal, as on the benchmark machine,
# creating a file skips every inode deleted in the last few minutes, checking
# each one, so creating files right after deleting thousands makes every
# creation scan them all. Unpacking into a fresh folder on a quiet file
# system does not pay that, so the runs must not either.
set -e
if [ -e "$1" ]; then
  mkdir -p "$2"
  mv "$1" "$(mktemp -d -p "$2")/"
fi
sync
