#!/usr/bin/env bash
# Installs what is missing, builds, and starts the programmer with the built-in simulated adapter.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target m84dpt
exec build/m84dpt --simulator "$@"
