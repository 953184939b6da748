#!/usr/bin/env bash
# Installs clang and libFuzzer (Debian's packages), which scripts/fuzz.sh builds the fuzz
# targets with. Not needed for the ordinary build: CTest replays the corpora without them.
set -euo pipefail
packages=(clang libfuzzer-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
