#!/usr/bin/env bash
# Configures a build folder quietly: scripts/configure.sh FOLDER [CMAKE ARGUMENTS...].
# A new folder gets Ninja when it is installed; a folder configured before keeps its generator.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
shift
generator=()
if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi
cmake -S . -B "$build" "${generator[@]}" "$@" >/dev/null
