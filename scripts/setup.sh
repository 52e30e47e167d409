#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demonstration need.
# Each package is installed only when it is missing, so a prepared machine runs nothing.
set -euo pipefail

packages=(
  # build
  cmake g++ ninja-build pkg-config libgtest-dev clang-format shellcheck
  libcurl4-openssl-dev zlib1g-dev libminizip-dev libsimpleini-dev libgtk-3-dev libsodium-dev
  # real peers and tools used by the tests and the demonstration
  lighttpd lighttpd-mod-openssl openssl python3-pyftpdlib vsftpd zip unzip curl iproute2 util-linux
  faketime
  # the unpacking benchmark's figure without the data flushes
  eatmydata
  # independent readers of version resources, real Windows files to read
  libimage-exiftool-perl python3-pefile libz-mingw-w64
  # fuzzing and sanitizers, the dialog under a real display
  clang libclang-rt-14-dev xvfb xdotool openbox x11-apps x11-utils imagemagick
  # the Windows programs' icon, drawn from its SVG; Authenticode signing of a release
  librsvg2-bin icoutils osslsigncode
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Windows cross build and wine (adds a deb-src entry when there is none).
bash "$(dirname "$0")/setup-windows.sh"
