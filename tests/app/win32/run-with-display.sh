#!/usr/bin/env bash
# Runs a Windows program under Wine on a private Xvfb display, in the Wine
# prefix $WINEPREFIX, after mapping the window's font face "微软雅黑" to the
# installed WenQuanYi Micro Hei (Wine's font replacement key), so that the
# window's Chinese texts render as on Windows.
#
# With ZELVANO_WINE_DPI set (96, 144, 192...), the prefix's screen is set to
# that many dots per inch first (LogPixels), as a user sets the scale.
#
#   run-with-display.sh PROGRAM.exe ARGS...   exits with the program's status
set -uo pipefail

: "${WINEPREFIX:?WINEPREFIX names the private prefix}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver64
[[ -x $wineserver ]] || wineserver=$(command -v wineserver64 || command -v wineserver)

# A prefix whose first start was broken off cannot start again ("could not
# load kernel32.dll"): it is made anew once.
make_prefix() { mkdir -p "$WINEPREFIX" && DISPLAY= "$wine" wineboot -i >/dev/null 2>&1 && "$wineserver" -w; }
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  make_prefix || { rm -rf "$WINEPREFIX" && make_prefix; } || { echo "wineboot failed" >&2; exit 1; }
fi
# The value as the registry file keeps it (the name's characters escaped);
# the font's own registration also names WenQuanYi Micro Hei, so only the
# whole line tells that the replacement is there.
if ! grep -qF '"\x5fae\x8f6f\x96c5\x9ed1"="WenQuanYi Micro Hei"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  DISPLAY= "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '微软雅黑' /t REG_SZ \
    /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1 || { echo "font replacement failed" >&2; exit 1; }
  # Settles the registry on disk, so that the check above finds it next time.
  "$wineserver" -w
fi

if [[ -n "${ZELVANO_WINE_DPI:-}" ]]; then
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    DISPLAY= "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$ZELVANO_WINE_DPI" /f >/dev/null 2>&1 ||
      { echo "setting LogPixels failed" >&2; exit 1; }
  done
  "$wineserver" -w
fi

# Xvfb picks a free display itself and writes its number.
numberfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$numberfile"' EXIT
display=
for _ in $(seq 1 100); do
  display=$(tr -dc 0-9 <"$numberfile")
  [[ -n $display ]] && break
  sleep 0.1
done
[[ -n $display ]] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"
"$wine" "$@"
exit $?
