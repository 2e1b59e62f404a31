#!/usr/bin/env bash
# Pictures for the README and the AppStream file, in docs/screenshots/: the real window drawn
# offscreen against the simulated adapter (basic mode; advanced mode on the General page and on
# the Alerting grids), and the first page of the printed report, printed to PDF and rendered. Run
# again whenever the look changes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/configure.sh build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target m84dpt grab_window
out=docs/screenshots
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config" HOME="$scratch/home"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR" "$HOME"

build/tools/grab_window "$out"

build/src/app/m84dpt new "$scratch/default.DAT" >/dev/null
build/src/app/m84dpt report "$scratch/default.DAT" --pdf "$scratch/report.pdf" >/dev/null
# A page a browser shows whole: about 900 pixels wide.
pdftoppm -png -f 1 -l 1 -singlefile -scale-to-x 900 -scale-to-y -1 "$scratch/report.pdf" "$out/report"
echo "$out/report.png"
