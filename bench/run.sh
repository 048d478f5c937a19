#!/usr/bin/env bash
# Installs what is missing (the build's packages and the peers the benchmarks
# compare against), builds the benchmarks in Release, runs every one of them
# and ends with the worst ratio (ours / peer) over all their lines.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

# Debian packages of the peer programs and libraries the benchmarks time.
# dcraw and libraw-bin (unprocessed_raw, dcraw_emu): DNG decoding and development.
# liblcms2-utils (tificc) and libjpeg-turbo-progs (cjpeg): loading and saving.
# libvips-tools (vips sharpen, vips resize) and imagemagick (convert with LCHab
# round trips): the correction steps; vipsthumbnail (libvips-tools too): opening an
# image in the preview.
QB_BENCH_PEERS=(dcraw libraw-bin libvips-tools imagemagick liblcms2-utils libjpeg-turbo-progs)
qb_install_packages "${QB_PACKAGES[@]}" "${QB_BENCH_PEERS[@]}"

build="$QB_ROOT/build/bench"
cmake -S "$QB_ROOT" -B "$build" -G Ninja \
      -DCMAKE_BUILD_TYPE=Release -DQB_BUILD_BENCH=ON -DQB_BUILD_TESTS=OFF
cmake --build "$build" -j "$QB_JOBS"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
found=0
for exe in "$build"/bin/bench_*; do
  [ -x "$exe" ] || continue
  found=1
  echo "== $(basename "$exe")"
  "$exe" | tee -a "$log"
done
if [ "$found" -eq 0 ]; then
  echo "no benchmark executables in $build/bin" >&2
  exit 1
fi

# The worst of the per-program "worst ratio" lines.
worst=$(awk '/^worst ratio: / { r = $3 + 0; if (!seen || r > w) { w = r; seen = 1 } }
             END { if (seen) printf "%.3f", w; else print "n/a" }' "$log")
echo "worst ratio: $worst"
