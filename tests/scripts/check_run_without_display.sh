#!/usr/bin/env bash
# scripts/run.sh on a machine without a display: it must say how to run
# offscreen and stop with a non-zero status before it installs or builds
# anything, while any one of DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM
# lets it go on.
#
#   check_run_without_display.sh <source root>
set -u
root=${1:?source root}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# environment (as env arguments)           | passes
cases=(
  "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM|no"
  "-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:0|yes"
  "-u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=wayland-0|yes"
  "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen|yes"
  "-u QT_QPA_PLATFORM DISPLAY= WAYLAND_DISPLAY=|no"
)
for c in "${cases[@]}"; do
  environment=${c%|*} expected=${c#*|}
  # shellcheck disable=SC2086
  if env $environment bash -c 'source "$1/scripts/desktop.sh"; qb_require_display' _ "$root" 2>/dev/null; then
    got=yes
  else
    got=no
  fi
  [ "$got" = "$expected" ] || fail "with '$environment' the check passes: $got, expected $expected"
done

# The whole script: the advice names the offscreen platform and repeats the
# arguments so that it can be pasted; nothing is installed or built.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
      bash "$root/scripts/run.sh" zeph "two words" 2>"${TMPDIR:-/tmp}/run-no-display.$$")
status=$?
err=$(cat "${TMPDIR:-/tmp}/run-no-display.$$"); rm -f "${TMPDIR:-/tmp}/run-no-display.$$"
[ "$status" -ne 0 ] || fail "run.sh succeeded without a display"
[ -z "$out" ] || fail "run.sh went on without a display: $out"
grep -qF 'QT_QPA_PLATFORM=offscreen bash scripts/run.sh zeph two\ words' <<<"$err" ||
  fail "run.sh does not say how to run offscreen: $err"
grep -q 'DISPLAY' <<<"$err" || fail "run.sh does not say what is missing: $err"

[ "$failures" -eq 0 ] || exit 1
echo "run.sh without a display: all checks passed"
