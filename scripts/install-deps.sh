#!/usr/bin/env bash
# Installs the Debian packages that building, running, testing and releasing Tarvik need.
# Quiet when everything is already there. Wine's 32-bit half (wine32:i386) only where the kernel runs
# 32-bit programs: on a kernel that cannot, it breaks making 64-bit prefixes.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 fonts-wine fonts-wqy-microhei fonts-noto-cjk
  xvfb xauth xdotool socat imagemagick icoutils locales
  libmodbus-dev pkgconf mbpoll util-linux python3 clang libclang-rt-14-dev
  nsis python3-markdown zip unzip chromium
)
if bash "$(dirname "$0")/runs-32-bit.sh"; then
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
