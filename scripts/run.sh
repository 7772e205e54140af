#!/usr/bin/env bash
# Installs what is needed, builds the program folder build/app/ and starts the program.
# Without arguments it runs on the simulated sample drives (--demo).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DDS_BENCH=OFF >/dev/null
cmake --build build --target drivesentinel
if [ "$#" -eq 0 ]; then set -- --demo; fi
exec build/app/drivesentinel "$@"
