#!/usr/bin/env bash
# Prints the widths (64, 32) whose Windows programs this Wine session can run, and says on
# stderr when the 32-bit build's are left out (SORVANE_WINE32=0, set by wine-session.sh).
if [ "${SORVANE_WINE32:-1}" = 0 ]; then
  echo "32-bit: not run, this machine cannot run 32-bit programs" >&2
  echo 64
else
  echo 64 32
fi
