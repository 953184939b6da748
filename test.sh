#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test.
#   ./test.sh             the test suite
#   ./test.sh --sanitize  the same suite built with AddressSanitizer and UBSan into build-sanitize/
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/install-qemu.sh
dir=build
args=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  args=(-DTARNWELL_SANITIZE=ON)
fi
scripts/build.sh "$dir" "${args[@]}"
cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 900
