#!/bin/sh
# Makes the Wine prefix of a Windows build tree and, for each test that needs a prefix of its
# own (one program instance and one desktop per prefix), a copy of it. A script run by hand
# without the fixture makes its own prefix with this too (no copies).
# Usage: wine_prefixes.sh <prefix> [<copy>...]
#
# A prefix holds about 1.3 GB of DLLs; eight full prefixes once filled a CI machine's disk.
# The copies share the files of the first prefix through hard links, which is safe for what
# Wine only reads. wineserver rewrites the registry files in place, so those are copied.
set -u
wine=$(dirname "$0")/wine
template=$1
shift

if [ ! -f "$template/system.reg" ]; then
  WINEPREFIX=$template "$wine" wineboot --init >/dev/null 2>&1
  WINEPREFIX=$template "$wine" --server -w
  # Wine's Tahoma, the font of its menus and message boxes, has no Chinese.
  WINEPREFIX=$template "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Tahoma \
    /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  WINEPREFIX=$template "$wine" --server -w
fi
[ -f "$template/system.reg" ] || { echo "wine_prefixes: wineboot made no $template" >&2; exit 1; }

for copy in "$@"; do
  [ -f "$copy/system.reg" ] && continue
  rm -rf "$copy"
  cp -al "$template" "$copy" || exit 1
  for registry in "$template"/*.reg; do
    name=${registry##*/}
    rm -f "$copy/$name"
    cp "$registry" "$copy/$name" || exit 1
  done
done
exit 0
