#!/usr/bin/env bash
# Installs from Debian's packages whatever the build, the tests and the demo
# need and this machine lacks. Safe to run again: it installs only what is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev
  # Qt's own texts in Portuguese (qtbase_pt_BR.qm), loaded by the program and
  # shipped in its Windows folder.
  qt6-translations-l10n
  firebird3.0-server firebird-dev libfbclient2
  mariadb-server mariadb-client libmariadb-dev
  libcanberra-dev
  xvfb xauth x11-apps imagemagick trayer xdotool
  # Faces with Arial's and Tahoma's widths, which the windows were laid out
  # for: Liberation Sans and DejaVu Sans Condensed; Wine's Tahoma for the
  # Wine prefix of the Windows checks.
  fonts-liberation fonts-dejavu-extra fonts-wine
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64 wine64 x11-utils
  # winegcc, for the Firebird bridge the Wine checks load (tests/wine).
  wine64-tools
  # The Windows setup program (scripts/win-setup.sh).
  nsis
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
# The Firebird package would otherwise pick a random SYSDBA password.
echo "firebird3.0-server shared/firebird/sysdba_password/first_install password vellowtip" | $SUDO debconf-set-selections
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
