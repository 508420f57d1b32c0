#!/bin/sh
# The Windows program is the image Windows is meant to load: PE32 for the 32-bit build, PE32+
# for the 64-bit one, and for the GUI subsystem (a console program would bring a console
# window along). Reads the headers only, so it runs where the program itself cannot.
# Usage: executable_format.sh <objdump> <quorvel-print.exe> <PE32|PE32+>
set -u
headers=$("$1" -p "$2") || { echo "FAIL: $1 cannot read the headers of $2"; exit 1; }
field() {  # the text in parentheses on the header line named $1, e.g. "(PE32)" -> PE32
  printf '%s\n' "$headers" | sed -n "s/^$1[[:space:]].*(\(.*\))\$/\1/p" | head -1
}
magic=$(field Magic)
subsystem=$(field Subsystem)
[ "$magic" = "$3" ] || { echo "FAIL: $2 is a ${magic:-non-PE} image, not $3"; exit 1; }
[ "$subsystem" = "Windows GUI" ] || { echo "FAIL: $2 is for the '$subsystem' subsystem, not Windows GUI"; exit 1; }
echo "$2: $magic, $subsystem"
