#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet, with apt-get (through sudo
# when not root). Shared by the install scripts.
#   apt-install.sh [--no-recommends] PACKAGE...
set -euo pipefail
extra=()
if [ "${1:-}" = "--no-recommends" ]; then
  extra=(--no-install-recommends)
  shift
fi
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "apt-install: not root and no sudo to install ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${extra[@]}" "${missing[@]}"
