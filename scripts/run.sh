#!/usr/bin/env bash
# Installs what is missing, builds, and starts the programmer with the built-in simulated adapter.
# Further arguments go to the program: `scripts/run.sh --version` builds and prints the version.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/configure.sh build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target m84dpt
exec build/src/app/m84dpt --simulator "$@"
