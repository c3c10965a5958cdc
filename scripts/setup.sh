#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine.
set -euo pipefail

packages=(cmake make g++ python3 googletest libstb-dev)
# The main job needs only the native build; testing needs the rest.
if [ -z "${KD_NATIVE_ONLY:-}" ]; then
  packages+=(python3-pytest python3-selenium chromium chromium-driver clang clang-format
             libclang-rt-14-dev libxml2-utils
             g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
fi
