#!/usr/bin/env bash
# Installs the PC emulator that the boot-loader test boots a disk image with. Only a test
# instrument: the program itself never needs it. A machine without package access keeps
# going; the boot test then skips with a message.
set -uo pipefail
if command -v qemu-system-x86_64 >/dev/null 2>&1 || command -v qemu-system-i386 >/dev/null 2>&1; then
  exit 0
fi
if ! "$(dirname "$0")/apt-install.sh" --no-recommends qemu-system-x86; then
  echo "install-qemu: qemu-system-x86 could not be installed; the boot test will be skipped" >&2
fi
exit 0
