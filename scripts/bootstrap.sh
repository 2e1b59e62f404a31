#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; quiet when all is present.
# Every name is a real package, not a virtual one: dpkg-query never reports a virtual name as
# installed, so one would send every run to apt-get.
set -euo pipefail

packages=(
  cmake g++ pkg-config
  qt6-base-dev qt6-serialport-dev qt6-svg-dev
  libasound2-dev libgtest-dev
  fonts-liberation2 poppler-utils
  clang libclang-rt-14-dev clang-format
  desktop-file-utils appstream lintian dpkg-dev librsvg2-bin file
  ccache help2man ninja-build lld
  shared-mime-info xdg-utils libglib2.0-bin
  libyaml-cpp-dev python3-yaml yamllint
  libqt6sql6-sqlite libqt6sql6-psql libpq-dev sqlite3 postgresql python3
  xvfb dbus-daemon dbus-bin at-spi2-core python3-pyatspi
  faketime multimon-ng sox
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
