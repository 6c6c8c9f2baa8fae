#!/bin/sh
# The library against the symbols a host compiled from the published declarations needs, one per line in
# published.symbols: every exported function and member with its parameter types, constness and
# overloads, the facade's constructors and destructor, and the instance `trelvan`. A signature that
# drifts names another symbol, and that host would no longer link.
# Usage: check_symbols.sh LIBRARY SYMBOLS-FILE
set -eu
defined=$(nm -DC --defined-only "$1" | cut -d' ' -f3- | LC_ALL=C sort -u)
missing=$(printf '%s\n' "$defined" | LC_ALL=C comm -13 - "$2")
if [ -n "$missing" ]; then
  echo "not exported as published:"
  printf '%s\n' "$missing"
  exit 1
fi
echo "$(wc -l <"$2") published symbols exported"
