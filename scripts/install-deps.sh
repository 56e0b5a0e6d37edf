#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest g++-mingw-w64-x86-64 nlohmann-json3-dev nsis
          qt6-base-dev qt6-svg-dev libgl-dev libglx-dev libopengl-dev libvulkan-dev wine64 libftdi1-dev
          libcurl4-openssl-dev libssl-dev
          dpkg-dev file lintian desktop-file-utils appstream
          libudev-dev umockdev libumockdev-dev
          librsvg2-bin xvfb xdotool imagemagick xz-utils)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
echo "install-deps: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
