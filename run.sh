#!/usr/bin/env bash
# Installs what is missing, builds into build/, makes the demo disk image if it is not there
# yet and shows what the program sees on it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh build
demo=build/demo/demo-disk.img
[ -f "$demo" ] || tools/demo/make-demo-disk.sh "$demo" build/tools/demo/make_demo_ntfs
echo
echo "Volumes of the demo disk:"
build/cli/tarnwell volumes --disks "$demo"
echo
echo "Drives:"
build/cli/tarnwell drives --disks "$demo"
