#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test under CTest.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
qb_install_packages "${QB_PACKAGES[@]}" "${QB_TEST_PACKAGES[@]}"
qb_ensure_test_locale

cmake -S "$QB_ROOT" -B "$QB_ROOT/build/test" -G Ninja \
      -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
      -DQB_SANITIZE=ON -DQB_BUILD_TESTS=ON
cmake --build "$QB_ROOT/build/test" -j "$QB_JOBS"

export QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$QB_ROOT/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$QB_ROOT/build/test" --output-on-failure -j "$QB_JOBS" "$@"
