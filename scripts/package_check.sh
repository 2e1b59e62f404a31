#!/usr/bin/env bash
# The desktop files and the Debian package, checked as a user would meet them: installs into a
# scratch prefix and validates the desktop entry and the AppStream file there, builds the .deb,
# runs lintian on it (errors fail, warnings are shown), unpacks it with dpkg-deb -x and runs the
# program from the unpacked tree. Expects a configured build folder (default: build).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
app_id=org.m84dpt.Programmer
failures=()
check() {  # check NAME COMMAND...: runs it, notes a failure and goes on
  if "$@"; then echo "ok: $1 ${*:2}" | cut -c1-120; else failures+=("$*"); echo "FAILED: $*"; fi
}

cmake --build "$build" -j"$(nproc)" --target m84_product >/dev/null || { echo "FAILED: build"; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# cmake --install into a prefix: every piece where the desktop looks for it.
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
for f in bin/m84dpt share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$app_id.svg share/icons/hicolor/{48x48,128x128,256x256}/apps/$app_id.png \
         share/man/man1/m84dpt.1.gz lib/udev/rules.d/70-m84dpt.rules share/mime/packages/$app_id.xml \
         share/doc/m84dpt/settings-format.md share/doc/m84dpt/guide/README.md; do
  check test -s "$scratch/prefix/$f"
done
# The installed guide's links lead to files installed beside it.
check python3 tests/check_links.py "$scratch/prefix/share/doc/m84dpt"
for size in 48 128 256; do
  check grep -q "PNG image data, $size x $size" <(file "$scratch/prefix/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
check desktop-file-validate "$scratch/prefix/share/applications/$app_id.desktop"
check appstreamcli validate --no-net --strict "$scratch/prefix/share/metainfo/$app_id.metainfo.xml"
check grep -q "<release version=\"$version\"" "$scratch/prefix/share/metainfo/$app_id.metainfo.xml"
check grep -qx "Icon=$app_id" "$scratch/prefix/share/applications/$app_id.desktop"
# Every picture the AppStream file lists is one that scripts/screenshots.sh makes.
for shot in $(sed -n 's|.*<image>.*/\([^/]*\.png\)</image>.*|\1|p' data/$app_id.metainfo.xml); do
  check test -s "docs/screenshots/$shot"
done

# The Debian package.
deb="$build/m84dpt_${version}_$arch.deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
check test -s "$deb"
lintian_root=()
[ "$(id -u)" -eq 0 ] && lintian_root=(--allow-root)
echo "lintian:"
lintian "${lintian_root[@]}" --fail-on error "$deb" | sed 's/^/  /'
check test "${PIPESTATUS[0]}" -eq 0

# Unpacked, not installed: the program runs from there.
dpkg-deb -x "$deb" "$scratch/root"
program="$scratch/root/usr/bin/m84dpt"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/runtime" HOME="$scratch/home"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR" "$HOME"
check grep -qF "$version" <(timeout 20 "$program" --version)
check timeout 20 "$program" new "$scratch/new.DAT"
check test "$(stat -c %s "$scratch/new.DAT" 2>/dev/null)" = 2084

if [ ${#failures[@]} -ne 0 ]; then
  printf 'package check: %d failure(s)\n' ${#failures[@]}
  exit 1
fi
echo "package check: all passed"
