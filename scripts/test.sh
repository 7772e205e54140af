#!/usr/bin/env bash
# Installs what is needed, builds every configuration and runs every test suite: unit and
# integration tests (CTest), the same under AddressSanitizer and UndefinedBehaviorSanitizer,
# and a short run of each fuzz target. Exits non-zero when anything fails.
set -uo pipefail
# Every suite runs in the bare environment of a fresh CI machine (HOME, PATH, LANG and nothing
# else), so no test can lean on a variable that only a developer's shell happens to set.
if [ -z "${DS_BARE_ENVIRONMENT:-}" ]; then
  exec env -i DS_BARE_ENVIRONMENT=1 HOME="${HOME:-/root}" PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 ${FUZZ_SECONDS:+FUZZ_SECONDS="$FUZZ_SECONDS"} ${CI:+CI="$CI"} bash "$0" "$@"
fi
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
failed=0 passed_total=0 failed_total=0

step() { printf '\n=== %s ===\n' "$*"; }

build() {  # build DIR CMAKE-ARGS...: configures (warnings are errors) and builds
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DDS_WERROR=ON "$@" && cmake --build "$dir" -j "$jobs"
}

run_ctest() {  # run_ctest BUILD_DIR: counted from ctest's summary line
  local log status fail total
  log=$(mktemp)
  ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 900 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  read -r fail total < <(sed -nE 's/.*tests passed, ([0-9]+) tests failed out of ([0-9]+).*/\1 \2/p' "$log" | tail -n 1)
  rm -f "$log"
  passed_total=$((passed_total + ${total:-0} - ${fail:-0}))
  failed_total=$((failed_total + ${fail:-0}))
  [ "$status" -eq 0 ] || failed=1
}

step "Dependencies"
scripts/install-deps.sh || { echo "dependency installation failed"; exit 1; }

step "Build (warnings are errors)"
if build build; then
  step "Tests"
  run_ctest build
else
  echo "build failed"; failed=1
fi

step "Build with AddressSanitizer and UndefinedBehaviorSanitizer"
if build build-asan -DCMAKE_BUILD_TYPE=Debug -DDS_SANITIZE=address,undefined -DDS_BENCH=OFF; then
  step "Tests under the sanitizers"
  ASAN_OPTIONS=detect_leaks=1 run_ctest build-asan
else
  echo "sanitizer build failed"; failed=1
fi

step "Fuzz targets (clang, libFuzzer)"
if CC=clang CXX=clang++ build build-fuzz -DDS_FUZZ=ON; then
  for target in build-fuzz/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    corpus="build-fuzz/corpus/$(basename "$target")"
    mkdir -p "$corpus"
    if "$target" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 "$corpus" >"$corpus.log" 2>&1; then
      echo "$(basename "$target"): clean ($(sed -nE 's/^Done ([0-9]+) runs.*/\1/p' "$corpus.log" | tail -n 1) runs)"
      passed_total=$((passed_total + 1))
    else
      tail -n 40 "$corpus.log"; echo "$(basename "$target"): FAILED"
      failed_total=$((failed_total + 1)); failed=1
    fi
  done
else
  echo "fuzz build failed"; failed=1
fi

echo
echo "all suites: $passed_total passed, $failed_total failed"
exit "$failed"
