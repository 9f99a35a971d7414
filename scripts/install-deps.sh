#!/usr/bin/env bash
# Puts every Debian package the project needs on the machine; skips what is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  zlib1g-dev libdeflate-dev libisal-dev libssl-dev libgtest-dev
  qt6-base-dev qt6-qpa-plugins qt6-multimedia-dev libgl-dev qt6-translations-l10n
  clang libclang-rt-14-dev clang-format
  fonts-wqy-microhei fonts-liberation2
  xvfb xauth x11-apps x11-utils imagemagick
  time coreutils tar bc
  desktop-file-utils appstream shared-mime-info man-db groff-base dpkg-dev file binutils gzip apt
  pigz
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
