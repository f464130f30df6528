#!/usr/bin/env bash
# Installs the Debian packages the project needs that are not installed yet.
# Idempotent and silent when nothing is missing; runs as root (no sudo).
set -euo pipefail

packages=(
  # compilers and build
  g++ clang cmake ninja-build pkg-config
  # libraries the code links
  zlib1g-dev libssl-dev qt6-base-dev
  # the toolkit's own texts of the dialogs (Chinese and the locale's language)
  qt6-translations-l10n
  # the font that stands in for the window's CJK font
  fonts-wqy-microhei
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libclang-rt-14-dev
  python3 nginx curl zip unzip p7zip-full xvfb xauth strace time
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/dev/null
apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
