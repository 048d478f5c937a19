#!/usr/bin/env bash
# Installs what is missing, builds CHROMIVEL and ZEPH in Release and starts
# CHROMIVEL; "run.sh zeph [args]" starts ZEPH instead.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
qb_install_packages "${QB_PACKAGES[@]}"

cmake -S "$QB_ROOT" -B "$QB_ROOT/build/release" -G Ninja \
      -DCMAKE_BUILD_TYPE=Release -DQB_BUILD_TESTS=OFF
cmake --build "$QB_ROOT/build/release" -j "$QB_JOBS"

if [ "${1:-}" = "zeph" ]; then
  shift
  exec "$QB_ROOT/build/release/bin/zeph" "$@"
fi
exec "$QB_ROOT/build/release/bin/chromivel" "$@"
