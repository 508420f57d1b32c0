#!/usr/bin/env bash
# The Windows installer as built: a 32-bit Windows program (it must run on 32-bit Windows)
# whose archive holds the program, the 32-bit WebView2 loader beside it and the uninstaller
# and none of the files the shop owns,
# and whose version resource, like the program's, carries the project version.
# Usage: installer_contents.sh <installer.exe> <version> <work dir>
set -u
installer=$1
version=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
fail() {
  echo "FAIL: $*"
  exit 1
}
[ "$(basename "$installer")" = "quorvel-print-setup-$version.exe" ] || fail "named $(basename "$installer")"
file -b "$installer" | grep -q '^PE32 executable (GUI) Intel 80386' ||
  fail "not a 32-bit Windows program: $(file -b "$installer")"

listing=$(7z l -slt -ba "$installer" | sed -n 's/^Path = //p') || fail "7z cannot list it"
for path in quorvel-print.exe WebView2Loader.dll uninstall.exe; do
  grep -qxF "$path" <<<"$listing" || fail "no $path in: $listing"
done
grep -qiE '(^|/)(config\.ini|tasks\.journal|log)$' <<<"$listing" &&
  fail "it carries a file of the shop's, which an upgrade would replace: $listing"

rm -rf "$work"
mkdir -p "$work"
7z x -o"$work" "$installer" quorvel-print.exe WebView2Loader.dll >/dev/null ||
  fail "7z cannot extract the program"
file -b "$work/quorvel-print.exe" | grep -q '^PE32 executable (GUI) Intel 80386' ||
  fail "the program is not the 32-bit build: $(file -b "$work/quorvel-print.exe")"
# A 64-bit loader would not load into the 32-bit program: the page would never get WebView2.
file -b "$work/WebView2Loader.dll" | grep -q '^PE32 executable (DLL) .*Intel 80386' ||
  fail "the WebView2 loader is not the 32-bit one: $(file -b "$work/WebView2Loader.dll")"
for exe in "$installer" "$work/quorvel-print.exe"; do
  resource=$(python3 "$here/pe_version.py" "$exe") || fail "no version resource in $exe"
  for expected in "file=$version.0" "product=$version.0" "product_text=$version"; do
    grep -qxF "$expected" <<<"$resource" || fail "$(basename "$exe"): no $expected in $resource"
  done
done
echo "PE32 installer $version with the program, the WebView2 loader and the uninstaller"
