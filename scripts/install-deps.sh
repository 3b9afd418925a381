#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark and run.
# Idempotent: packages already present are skipped, so a warm machine costs one dpkg query.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev valgrind
  qt6-base-dev libqt6opengl6-dev libxkbcommon-dev libgl-dev
  qt6-qpa-plugins fonts-liberation fonts-dejavu-core fontconfig
  xvfb xauth poppler-utils
  desktop-file-utils man-db dpkg-dev file systemd
  zlib1g-dev qt6-svg-dev libmosquitto-dev mosquitto mosquitto-clients python3
  openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
