#!/usr/bin/env bash
# The demo: builds the program, serves the demo release from a private nginx
# on a free loopback port and installs it with zelvano-setup. With a display
# the window opens and you press Install; without one the installation runs
# unattended on the offscreen platform. The install folder, the key store and
# the desktop are folders below demo-root/ unless PROGRAMFILES,
# ZELVANO_REGISTRY_DIR and ZELVANO_DESKTOP_DIR are set.
#
# ./run.sh windows: the same with the Windows build under Wine, in the Wine
# prefix demo-root/wine (C:\Program Files\Pordino2.0, the prefix's desktop
# and registry); without a display it runs /silent on a private Xvfb.
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)

if [[ "${1:-}" == windows ]]; then
  ./scripts/install-deps.sh
  build=${ZELVANO_DEMO_BUILD:-build/windows}
  cmake --preset windows -B "$build" -DZELVANO_COMPONENTS="platform;json;http;download;unzip;controls;app" \
    -DZELVANO_TOOLS=ON >/dev/null
  cmake --build "$build" -j "$(nproc)" --target zelvano-setup-demo demo_release
  demo=$here/demo-root
  export WINEPREFIX=${WINEPREFIX:-$demo/wine} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine=/usr/lib/wine/wine64
  [[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
  wineserver=/usr/lib/wine/wineserver64
  [[ -x $wineserver ]] || wineserver=$(command -v wineserver64 || command -v wineserver)
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    mkdir -p "$WINEPREFIX"
    DISPLAY= "$wine" wineboot -i >/dev/null 2>&1
    # The window's font face, shown with the installed CJK font.
    DISPLAY= "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '微软雅黑' /t REG_SZ \
      /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    # The setup must start a Wine server of its own, on the display it is
    # given: the one made without a display above would keep its desktop.
    "$wineserver" -w
  fi
  www=$demo/server/www
  work=$demo/server/nginx
  rm -rf "$demo/server"
  mkdir -p "$www/files" "$www/api/autodownload" "$work"
  cp "$build/tools/demo/demo-release.zip" "$www/files/zelvano-release.zip"
  port=$(python3 tests/support/nginx_fixture.py start --root "$www" --workdir "$work")
  trap 'python3 tests/support/nginx_fixture.py stop --workdir "$work" || true' EXIT
  # The demo release, signed with the build's development key, which
  # zelvano-setup-demo trusts.
  members=$(tools/release/zelvano-release -k "$build/release-key/development.key" -v 2.0.0 -d 30 \
    -o "$demo/server/release.json" "$www/files/zelvano-release.zip")
  printf '{"download_url":"http://127.0.0.1:%s/files/zelvano-release.zip",%s}\n' "$port" "$members" \
    >"$www/api/autodownload/student"
  export ZELVANO_UPDATE_SERVER="http://127.0.0.1:$port"
  cp "$build/tools/demo/zelvano-setup-demo.exe" "$demo/zelvano-setup.exe"
  client="$WINEPREFIX/drive_c/Program Files/Pordino2.0"
  rm -f "$client/started"
  status=0
  if [[ -n "${DISPLAY:-}" ]]; then
    echo "run.sh: press Install in the window"
    "$wine" "$demo/zelvano-setup.exe" || status=$?
  else
    # Wine makes no window without a display, not even unattended.
    echo "run.sh: no display, installing unattended on a private Xvfb display"
    xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$demo/zelvano-setup.exe" /silent || status=$?
  fi
  for _ in $(seq 100); do [[ -s "$client/started" ]] && break; sleep 0.1; done
  if [[ -s "$client/started" ]]; then
    echo "run.sh: the client was installed in C:\\Program Files\\Pordino2.0 and started ($(tail -n 1 "$client/started"))"
    exit 0
  fi
  echo "run.sh: the client did not start (setup exit status $status)"
  exit 1
fi

# ZELVANO_DEMO_BUILD names another build folder for the release preset.
build=${ZELVANO_DEMO_BUILD:-build/release}
./scripts/install-deps.sh
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target zelvano-setup-demo demo_release
# The demo release is signed below with the build's development key, which
# this setup program trusts.
archive=$build/tools/demo/demo-release.zip
setup=$build/tools/demo/zelvano-setup-demo
demo=$here/demo-root

export PROGRAMFILES=${PROGRAMFILES:-$demo/Program Files}
export ZELVANO_REGISTRY_DIR=${ZELVANO_REGISTRY_DIR:-$demo/registry}
export ZELVANO_DESKTOP_DIR=${ZELVANO_DESKTOP_DIR:-$demo/Desktop}
mkdir -p "$PROGRAMFILES" "$ZELVANO_REGISTRY_DIR" "$ZELVANO_DESKTOP_DIR"

# The server: the release archive and the update information naming it.
www=$demo/server/www
work=$demo/server/nginx
rm -rf "$demo/server"
mkdir -p "$www/files" "$www/api/autodownload" "$work"
cp "$archive" "$www/files/zelvano-release.zip"
port=$(python3 tests/support/nginx_fixture.py start --root "$www" --workdir "$work")
stop_server() { python3 tests/support/nginx_fixture.py stop --workdir "$work" || true; }
trap stop_server EXIT
server="http://127.0.0.1:$port"
members=$(tools/release/zelvano-release -k "$build/release-key/development.key" -v 2.0.0 -d 30 \
  -o "$demo/server/release.json" "$www/files/zelvano-release.zip")
printf '{"download_url":"%s/files/zelvano-release.zip","version":"2.0.0",%s}\n' \
  "$server" "$members" >"$www/api/autodownload/student"
export ZELVANO_UPDATE_SERVER=$server

client=$PROGRAMFILES/Pordino2.0
rm -f "$client/started"

# The setup program ends every process of its own file name; a copy of its
# own keeps that from reaching anything else.
cp "$setup" "$demo/zelvano-setup"
echo "run.sh: update server $server, installing into $PROGRAMFILES"
status=0
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && "${QT_QPA_PLATFORM:-}" != offscreen ]]; then
  echo "run.sh: press Install in the window"
  "$demo/zelvano-setup" || status=$?
else
  echo "run.sh: no display, installing unattended"
  QT_QPA_PLATFORM=offscreen "$demo/zelvano-setup" /silent || status=$?
fi
stop_server
trap - EXIT

for _ in $(seq 50); do
  [[ -s "$client/started" ]] && break
  sleep 0.1
done
if [[ -s "$client/started" ]]; then
  echo "run.sh: the client was installed in $client and started ($(tail -n 1 "$client/started"))"
  exit 0
fi
if [[ -x "$client/Corvexa.exe" ]]; then
  echo "run.sh: the client was installed in $client but did not start (setup exit status $status)"
else
  echo "run.sh: the client was not installed in $client (setup exit status $status)"
fi
exit 1
