#!/usr/bin/env bash
# The Debian package: its fields, a Depends entry for every library its programs link, its
# files, no lintian errors, and its life in a throwaway root: installed, run through
# /usr/bin/quorvel-print by an ordinary member of the users group (the program writes beside
# itself), installed again over the shop's files, removed (they stay) and purged (they go).
# Usage: deb.sh <package.deb> <version> <work dir>; needs root (dpkg --root, a private mount
# namespace); exits 77 (skipped) without it.
set -u
deb=$(realpath "$1")
version=$2
work=$3
fail() {
  echo "FAIL: $*"
  exit 1
}
if [ "$(id -u)" -ne 0 ]; then
  echo "installing into a throwaway root needs root"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
program_dir=var/lib/quorvel-print

# Fields.
[ "$(dpkg-deb -f "$deb" Package)" = quorvel-print ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
# The package names in Depends, one a line.
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | awk '{ print $1 }')

# Files.
listing=$(dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
for path in "./$program_dir/quorvel-print" "./$program_dir/quorvel-print-gtk.so" "./$program_dir/log/" \
  "./usr/bin/quorvel-print -> /$program_dir/quorvel-print" \
  ./usr/share/applications/quorvel-print.desktop \
  ./usr/share/icons/hicolor/64x64/apps/quorvel-print.png \
  ./usr/lib/systemd/user/quorvel-print.service ./usr/share/doc/quorvel-print/copyright; do
  grep -qxF -- "$path" <<<"$listing" || fail "the package holds no $path"
done
for data in config.ini tasks.journal; do
  grep -q "/$data\$" <<<"$listing" && fail "the package carries $data, which would replace the shop's"
done

extracted=$work/extracted
dpkg-deb -x "$deb" "$extracted"
grep -qx 'Exec=quorvel-print' "$extracted/usr/share/applications/quorvel-print.desktop" ||
  fail "the desktop entry does not start quorvel-print"
grep -qx 'ExecStart=/usr/bin/quorvel-print --headless auto' \
  "$extracted/usr/lib/systemd/user/quorvel-print.service" || fail "the user unit does not run --headless"

# Every library a program of the package links is declared, by the package that has it.
while IFS= read -r elf; do
  for soname in $(objdump -p "$elf" | awk '$1 == "NEEDED" { print $2 }'); do
    library=$(ldconfig -p | awk -v so="$soname" '$1 == so { print $NF; exit }')
    [ -n "$library" ] || fail "$soname, linked by $elf, is not on this system"
    owner=$(dpkg -S "$(realpath "$library")" 2>/dev/null | head -1 | cut -d: -f1)
    [ -n "$owner" ] || owner=$(dpkg -S "$library" 2>/dev/null | head -1 | cut -d: -f1)
    grep -qxF "$owner" <<<"$depends" ||
      fail "$soname ($owner) is linked by ${elf#"$extracted"} but not in Depends"
  done
done < <(find "$extracted" -type f -exec sh -c 'head -c4 "$1" | grep -q ELF' _ {} \; -print)

# Opened at run time for spooler printers, so no program links it.
grep -qx libcups2 <<<"$depends" || fail "libcups2, opened for spooler printers, is not in Depends"

lintian --allow-root --fail-on error "$deb" >"$work/lintian.txt" 2>&1 ||
  fail "lintian: $(cat "$work/lintian.txt")"
echo "fields, files, Depends and lintian as expected"

# A throwaway root with an empty dpkg database; the maintainer scripts act on it through
# DPKG_ROOT.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
  dpkg --root="$root" --force-script-chrootless --force-depends --log=/dev/null "$@" \
    >>"$work/dpkg.log" 2>&1 || fail "dpkg $*: $(tail -5 "$work/dpkg.log")"
}
expect_mode() {  # PATH: the program's directory and its log/ writable by the users group
  [ "$(stat -c '%U:%G %a' "$1")" = "root:users 1775" ] ||
    fail "$1 is $(stat -c '%U:%G %a' "$1"), not root:users 1775"
}

dpkg_root -i "$deb"
expect_mode "$root/$program_dir"
expect_mode "$root/$program_dir/log"
printf '[set]\r\nsid=10001\r\nserver=127.0.0.1:9\r\ntls_verify=0\r\n' >"$root/$program_dir/config.ini"

# /usr/bin/quorvel-print of the throwaway root, in a mount namespace where that root's
# /var/lib is the system's: the program must find config.ini through the link and write its
# log beside itself as an ordinary user (nobody) in the users group. tls_verify=0 makes it log
# at once.
home=$work/home
mkdir -p "$home"
chmod 777 "$home"
unshare -m sh -c '
  mount --bind "$1/var/lib" /var/lib &&
  exec setpriv --reuid=nobody --regid=nogroup --groups=users \
    env -i HOME="$2" XDG_RUNTIME_DIR="$2" PATH=/usr/bin:/bin "$1/usr/bin/quorvel-print" --headless
' sh "$root" "$home" >"$work/program.log" 2>&1 &
program=$!
for _ in $(seq 100); do
  log=$(find "$root/$program_dir/log" -type f -user nobody | head -1)
  [ -n "$log" ] && break
  kill -0 $program 2>/dev/null || break
  sleep 0.2
done
kill $program 2>/dev/null
wait $program 2>/dev/null
[ -n "$log" ] || fail "the program wrote no log beside itself: $(cat "$work/program.log")"
echo "the installed program ran as a member of users and wrote $(basename "$log")"

dpkg_root -i "$deb"
[ -f "$root/$program_dir/config.ini" ] && [ -f "$log" ] || fail "reinstalling lost config.ini or log/"
expect_mode "$root/$program_dir"
dpkg_root -r quorvel-print
[ -e "$root/$program_dir/quorvel-print" ] && fail "removal left the program"
[ -L "$root/usr/bin/quorvel-print" ] && fail "removal left /usr/bin/quorvel-print"
[ -f "$root/$program_dir/config.ini" ] && [ -f "$log" ] || fail "removal took config.ini or log/"
dpkg_root --purge quorvel-print
[ -e "$root/$program_dir" ] && fail "purging left $program_dir"
grep -q quorvel-print "$root/var/lib/dpkg/statoverride" 2>/dev/null && fail "purging left the ownership overrides"
echo "installed, reinstalled over the shop's files, removed and purged"
