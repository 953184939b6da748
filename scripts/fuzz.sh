#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UBSan into build-fuzz/
# and runs one of them, or each in turn, for the given number of seconds.
#   scripts/fuzz.sh                  list the targets
#   scripts/fuzz.sh fat_reader 600   run one target for ten minutes
#   scripts/fuzz.sh all 300          run every target for five minutes, one after the other
# Each run starts from the committed corpus (tests/fuzz/corpus/NAME) and keeps what it learns
# in build-fuzz/corpus/NAME; a crash is written to build-fuzz/findings/NAME/. Commit a
# finding's input into the committed corpus, named for the fault, once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(fat_reader fat_engine ntfs_volume ntfs_engine ntfs_record carve_formats carve_scan carve_config scan_file
         partition_search boot_sector)
# Inputs are disks or files: the largest seed decides, within a bound that keeps runs quick.
declare -A max_len=([fat_reader]=524288 [fat_engine]=524288 [ntfs_volume]=786432 [ntfs_engine]=786432 [carve_scan]=524288
                    [partition_search]=524288 [boot_sector]=2048 [ntfs_record]=16384 [scan_file]=65536)

if [ $# -lt 1 ]; then
  echo "usage: $0 TARGET|all [SECONDS]"
  printf '  %s\n' "${targets[@]}"
  exit 2
fi
chosen=("$1")
[ "$1" = "all" ] && chosen=("${targets[@]}")
for t in "${chosen[@]}"; do
  [[ " ${targets[*]} " == *" $t "* ]] || { echo "fuzz.sh: no target $t" >&2; exit 2; }
done
seconds=${2:-300}

scripts/install-fuzz.sh
scripts/install-deps.sh
flags="-fsanitize=fuzzer-no-link -gline-tables-only"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWELL_SANITIZE=ON -DTARNWELL_FUZZ=ON \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${chosen[@]/#/fuzz_}"

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen TZ=UTC
root=$(pwd)
mkdir -p build-fuzz/work
cd build-fuzz/work  # what the targets leave in the current folder stays here
status=0
for t in "${chosen[@]}"; do
  mkdir -p "$root/build-fuzz/corpus/$t" "$root/build-fuzz/findings/$t"
  echo "== $t: ${seconds}s"
  args=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -print_final_stats=1
        -artifact_prefix="$root/build-fuzz/findings/$t/")
  [ -n "${max_len[$t]:-}" ] && args+=(-max_len="${max_len[$t]}")
  [ -f "$root/tests/fuzz/$t.dict" ] && args+=(-dict="$root/tests/fuzz/$t.dict")
  log="$root/build-fuzz/findings/$t/last-run.log"
  if ! "$root/build-fuzz/tests/fuzz/fuzz_$t" "${args[@]}" "$root/build-fuzz/corpus/$t" "$root/tests/fuzz/corpus/$t" \
      >"$log" 2>&1; then
    status=1
    echo "finding in $t: see $log"
  fi
  grep -E '^(#[0-9]+ +(INITED|DONE)|stat::|SUMMARY)|==ERROR|^ERROR: (libFuzzer|no interesting)' "$log" | tail -12 || true
done
exit $status
