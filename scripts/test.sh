#!/usr/bin/env bash
# Checks the formatting, builds QOVA and runs every test: once in the normal build, once more
# under AddressSanitizer and UndefinedBehaviorSanitizer; then each fuzz target for a few seconds
# from its seeds, which keep every input that once found a fault. Installs missing Debian
# packages first.
# Arguments go to ctest, e.g. `scripts/test.sh -L logic` for the display-free logic alone; a run
# given arguments is a developer's quick look: the normal build alone, without the sanitizer build
# and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== formatting"
# Every C++ file as the project's .clang-format lays it out.
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

jobs=$(nproc)
presets=(default asan)
[ $# -eq 0 ] || presets=(default)
for preset in "${presets[@]}"; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset tests"
  # A virtual display for the tests that draw video through OpenGL and take screenshots.
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$preset" -j "$jobs" "$@"
done

[ $# -eq 0 ] || exit 0
echo "== fuzz targets"
scripts/fuzz.sh 3
