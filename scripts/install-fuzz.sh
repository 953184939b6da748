#!/usr/bin/env bash
# Installs clang and libFuzzer (Debian's packages), which scripts/fuzz.sh builds the fuzz
# targets with. Not needed for the ordinary build: CTest replays the corpora without them.
set -euo pipefail
"$(dirname "$0")/apt-install.sh" clang libfuzzer-14-dev
