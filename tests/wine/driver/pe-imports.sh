#!/bin/sh
# Prints what a PE file imports, one "dll function" a line (DLL names in lower case); a function
# imported by ordinal is printed as "dll (by ordinal N)", which no allow list names.
# usage: pe-imports.sh FILE
set -eu
x86_64-w64-mingw32-objdump -p "$1" | awk '
  /^\tDLL Name: / { dll = tolower($3); next }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll " " $3; next }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+ *$/ { print dll " (by ordinal " $2 ")"; next }
  /^$/ { dll = "" }'
