#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine.
set -euo pipefail

packages=(cmake make g++ python3 googletest libstb-dev zlib1g-dev libexpat1-dev)
# The main job needs only the native build; testing needs the rest.
if [ -z "${KD_NATIVE_ONLY:-}" ]; then
  packages+=(python3-pytest python3-selenium chromium chromium-driver clang clang-format
             libclang-rt-14-dev libxml2-utils
             g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386
             libz-mingw-w64-dev dpkg-dev)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
fi

# The Windows builds compile expat from Debian's own source package (Debian
# ships no mingw build of it; the native build links libexpat1-dev's), kept
# in /usr/local/src/expat (CMake's KD_EXPAT_DIR). apt-get source needs deb-src
# entries: the machine's own package sources are copied as deb-src into a
# scratch folder with apt's state beside them, so its apt set-up stays as it
# is. The newest version comes first; a mirror that lacks its files falls back
# to the next. Delete the folder to fetch a newer one.
expat_dir=/usr/local/src/expat
if [ -z "${KD_NATIVE_ONLY:-}" ] && [ ! -f "$expat_dir/expat/lib/xmlparse.c" ]; then
  scratch=$(mktemp -d)
  chmod 755 "$scratch"
  mkdir -p "$scratch/parts" "$scratch/lists/partial" "$scratch/cache/archives/partial"
  : > "$scratch/sources.list"
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    if [ -f "$list" ]; then
      sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" >> "$scratch/sources.list"
    fi
  done
  for sources in /etc/apt/sources.list.d/*.sources; do
    if [ -f "$sources" ]; then
      sed 's/^Types:.*/Types: deb-src/' "$sources" > "$scratch/parts/${sources##*/}"
    fi
  done
  apt_private=(-o "Dir::Etc::SourceList=$scratch/sources.list" -o "Dir::Etc::SourceParts=$scratch/parts"
               -o "Dir::State::Lists=$scratch/lists" -o "Dir::Cache=$scratch/cache")
  apt-get "${apt_private[@]}" update -q
  fetched=
  for version in $(apt-cache "${apt_private[@]}" showsrc expat | sed -n 's/^Version: //p' | sort -rV); do
    rm -rf "$scratch/src" && mkdir -m 777 "$scratch/src"
    if (cd "$scratch/src" && apt-get "${apt_private[@]}" source -q "expat=$version"); then
      fetched=$(find "$scratch/src" -mindepth 1 -maxdepth 1 -type d -name 'expat-*')
      break
    fi
    echo "expat $version could not be fetched; trying an older version" >&2
  done
  if [ -z "$fetched" ] || [ ! -f "$fetched/expat/lib/xmlparse.c" ]; then
    echo "cannot fetch expat's sources (apt-get source expat)" >&2
    rm -rf "$scratch"
    exit 1
  fi
  # The library's sources, its licence and Debian's record of the version.
  "${sudo_cmd[@]}" rm -rf "$expat_dir"
  "${sudo_cmd[@]}" mkdir -p "$expat_dir/expat" "$expat_dir/debian"
  "${sudo_cmd[@]}" cp -r "$fetched/expat/lib" "$fetched/expat/COPYING" "$expat_dir/expat/"
  "${sudo_cmd[@]}" cp "$fetched/debian/changelog" "$fetched/debian/copyright" "$expat_dir/debian/"
  rm -rf "$scratch"
fi
