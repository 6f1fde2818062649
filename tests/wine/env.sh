# Sourced by the Wine helpers: one place for the Wine settings of the tests.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
BRELL_WINE=/usr/lib/wine/wine64
[ -x "$BRELL_WINE" ] || BRELL_WINE=$(command -v wine64 || command -v wine)
# The 32-bit loader (Debian's wine32:i386): it runs x86 programs in a 64-bit
# prefix through WoW64, and hands x64 programs on to wine64.
BRELL_WINE32=/usr/lib/wine/wine

# Prints why this machine cannot run x86 Windows programs and fails, or
# succeeds silently when it can. The test is the 32-bit Wine loader itself:
# a tiny 32-bit program that fails to start where the kernel has no 32-bit
# support. BRELL_NO_32BIT=<reason> makes a machine that runs them behave as
# one that does not (to try that path: the skips, the demo's hand install, the
# emulated guest).
brell_no_32bit_reason() {
  if [ -n "${BRELL_NO_32BIT:-}" ]; then
    echo "$BRELL_NO_32BIT (BRELL_NO_32BIT is set)"
    return 0
  fi
  if [ ! -x "$BRELL_WINE32" ]; then
    echo "the 32-bit Wine loader $BRELL_WINE32 is not installed (package wine32:i386)"
    return 0
  fi
  local out
  if out=$("$BRELL_WINE32" --version 2>&1); then
    return 1
  fi
  if grep -qi "exec format" <<<"$out"; then
    echo "this kernel does not run 32-bit programs (ia32 emulation is disabled: $BRELL_WINE32 gives 'Exec format error')"
  else
    echo "the 32-bit Wine loader does not start: $(head -n1 <<<"$out")"
  fi
  return 0
}

# Wine's own fonts (Debian package fonts-wine).
BRELL_WINE_FONTS=/usr/share/wine/fonts

# Copies fonts of Wine's own (e.g. tahoma.ttf) into the prefix's
# C:\windows\Fonts. Wine lists every font in that folder when a process
# starts; no registry entry is needed. Without Tahoma, the face that
# Brellcfg asks for, Wine would substitute another one.
install_wine_fonts() {
  local font
  for font in "$@"; do
    cp "$BRELL_WINE_FONTS/$font" "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
  done
}

# Starts a private Xvfb and sets DISPLAY; the caller stops it with stop_xvfb.
start_xvfb() {
  local fifo="$1/display"
  : > "$fifo"
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp -noreset 9>"$fifo" >/dev/null 2>&1 &
  BRELL_XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$fifo" ] && break
    sleep 0.05
  done
  [ -s "$fifo" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$fifo")"
}

stop_xvfb() {
  if [ -n "${BRELL_XVFB_PID:-}" ]; then
    kill "$BRELL_XVFB_PID" 2>/dev/null || true
    wait "$BRELL_XVFB_PID" 2>/dev/null || true
    BRELL_XVFB_PID=
  fi
}

# Lets the setup of a prefix that wineboot started finish, then ends Wine. On
# a slow machine (an emulated one) wineboot stops waiting for its own setup
# and returns while the prefix is still being filled in the background.
finish_boot() {
  wineserver -w >/dev/null 2>&1 || true
  stop_wine
}

# Ends every Wine process of the current prefix and waits for the wineserver.
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# Opens a private Wine session for a script: a work folder (BRELL_WORK) with
# the prefix in it (WINEPREFIX, not yet booted) and a trap that ends Wine and
# Xvfb and removes the folder when the script exits.
begin_wine_session() {
  BRELL_WORK=$(mktemp -d "${TMPDIR:-/tmp}/brell-$1.XXXXXX")
  export WINEPREFIX=$BRELL_WORK/prefix
  trap 'stop_wine; stop_xvfb; rm -rf "$BRELL_WORK"' EXIT
  trap 'exit 130' INT TERM
}
