# Sourced (bash) by the test scripts that run the Windows program: sets `wine`, the absolute
# path of tests/support/wine (the scripts change directory), and defines wine_prefix_ready.

wine=$(realpath "$(dirname "${BASH_SOURCE[0]}")/wine")

# wine_prefix_ready: makes WINEPREFIX as the CTest fixture does, when it does not exist yet
# (a script run by hand); calls the script's fail when there is no usable prefix.
wine_prefix_ready() {
  [ -n "${WINEPREFIX:-}" ] || fail "no WINEPREFIX for this test"
  "$(dirname "$wine")/wine_prefixes.sh" "$WINEPREFIX" || fail "no Wine prefix at $WINEPREFIX"
  [ -d "$WINEPREFIX/dosdevices" ] || fail "the prefix $WINEPREFIX has no dosdevices"
}
