#!/usr/bin/env bash
# Installs the Debian packages the project needs that are not installed yet.
# Idempotent and silent when nothing is missing; runs as root (no sudo).
set -euo pipefail

packages=(
  # compilers and build
  g++ clang cmake ninja-build pkg-config ccache
  # libraries the code links
  zlib1g-dev libssl-dev qt6-base-dev
  # the openssl command: test authorities and release signing
  openssl
  # the toolkit's own texts of the dialogs (Chinese and the locale's language)
  qt6-translations-l10n
  # the font that stands in for the window's CJK font
  fonts-wqy-microhei
  # the Windows build: cross compilers (posix threads), zlib for them, Wine
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev wine wine64
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libclang-rt-14-dev
  python3 nginx curl zip unzip p7zip-full xvfb xauth strace time
)

installed() { [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" == "install ok installed" ]]; }

need_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: installing $* needs root" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
export DEBIAN_FRONTEND=noninteractive
if [[ ${#missing[@]} -gt 0 ]]; then
  need_root "${missing[*]}"
  echo "install-deps: installing ${missing[*]}"
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine's 32-bit half, for the suites of the 32-bit Windows build. Its loader
# is an i386 Linux program, so it is installed only where the kernel runs
# i386 programs: elsewhere (kernels without IA-32 emulation) /usr/bin/wine
# would take that loader for every program and fail.
kernel_runs_i386() {
  local dir rc=1
  dir=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/exit.s"
  if gcc -m32 -nostdlib -static "$dir/exit.s" -o "$dir/exit" 2>/dev/null; then
    "$dir/exit" 2>/dev/null && rc=0
  fi
  rm -rf "$dir"
  return $rc
}
if ! installed wine32:i386 && kernel_runs_i386; then
  need_root "wine32:i386"
  echo "install-deps: installing wine32:i386"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends wine32:i386 >/dev/null
fi
