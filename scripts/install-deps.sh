#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tarvik need.
# Quiet when everything is already there; never installs wine32 (it breaks 64-bit wine here).
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64 wine wine64 fonts-wine fonts-wqy-microhei fonts-noto-cjk
  xvfb xauth xdotool socat imagemagick icoutils locales
  libmodbus-dev pkgconf mbpoll util-linux python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
