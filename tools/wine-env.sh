# Sourced by the Wine scripts: a fresh prefix of their own, no debug noise,
# no installer dialogs, and the prefix's server stopped and removed at exit.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/quillory-wine.XXXXXX)
export WINEPREFIX
c="$WINEPREFIX/drive_c"
wine_cleanup() {
  wineserver -k >/dev/null 2>&1
  if [ -n "${QUILLORY_KEEP_PREFIX:-}" ]; then
    echo "prefix kept: $WINEPREFIX"
  else
    rm -rf "$WINEPREFIX"
  fi
}
trap wine_cleanup EXIT
