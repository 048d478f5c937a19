#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need,
# when any of them is missing. Sourced by run.sh and test.sh.
set -euo pipefail

QB_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev liblcms2-dev libjpeg62-turbo-dev libtiff-dev
  libddcutil-dev libpugixml-dev libcups2-dev libxcb1-dev libdbus-1-dev
  libgtest-dev libgmock-dev
  fonts-noto-cjk fonts-dejavu-core locales poppler-utils qt6-translations-l10n
  desktop-file-utils shared-mime-info
)

# Only the tests need these: independent readers of what we write (iccdump
# for our ICC profiles, dcraw for our DNG files, xmllint for the MIME type
# file, GLib's gio to open a list file as a file manager does), an X
# server of their own for the display's profile on X11, and a message bus
# of their own for a stand-in of the desktop's colour manager, and a print
# server of their own (cupsd) whose queues answer as real printers do.
QB_TEST_PACKAGES=(argyll dcraw libxml2-utils libglib2.0-bin xvfb dbus-daemon cups-daemon cups-client colord)

qb_missing_packages() {
  local missing=()
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  echo "${missing[@]:-}"
}

qb_install_packages() {
  local missing
  missing=$(qb_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Installing missing Debian packages: $missing"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
}

# A decimal-comma locale for the tests that check numbers in files stay in
# the C locale whatever the user's locale is.
qb_ensure_test_locale() {
  if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    return 0
  fi
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  if [ -f /etc/locale.gen ]; then
    $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  fi
  $sudo locale-gen de_DE.UTF-8 >/dev/null || $sudo locale-gen
}

QB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QB_JOBS=$(nproc)
