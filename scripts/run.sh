#!/usr/bin/env bash
# Installs what is missing, builds CHROMIVEL and ZEPH in Release, registers
# CHROMIVEL and its list files with the user's desktop and starts CHROMIVEL;
# "run.sh zeph [args]" starts ZEPH instead.
set -euo pipefail

# Checked first, so that a machine without a display learns it before
# anything is installed or built.
source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"
qb_require_display "$@" || exit 2

source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
qb_install_packages "${QB_PACKAGES[@]}"

cmake -S "$QB_ROOT" -B "$QB_ROOT/build/release" -G Ninja \
      -DCMAKE_BUILD_TYPE=Release -DQB_BUILD_TESTS=OFF
cmake --build "$QB_ROOT/build/release" -j "$QB_JOBS"

qb_install_desktop_integration "$QB_ROOT/build/release/bin/chromivel" ||
  echo "warning: could not register CHROMIVEL with the desktop" >&2

if [ "${1:-}" = "zeph" ]; then
  shift
  exec "$QB_ROOT/build/release/bin/zeph" "$@"
fi
exec "$QB_ROOT/build/release/bin/chromivel" "$@"
