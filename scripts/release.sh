#!/usr/bin/env bash
# Builds the Windows release into dist/: the installer of the 32-bit
# programs and a zip of the 32-bit and 64-bit programs with
# README-Windows.txt, from release builds (optimised, stripped, only system
# DLLs, checked before anything is packed).
# Usage: bash scripts/release.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh

version=$(sed -n 's/^ *FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' \
  bridge/StavaAutomationBridge.rc)
[ -n "$version" ] || { echo "no FILEVERSION in bridge/StavaAutomationBridge.rc" >&2; exit 1; }
jobs=$(nproc)

# A release build of one architecture (preset release-<architecture>, in
# build/release/<architecture>, with the installer for i686); prints the
# folder of its shipped programs.
release_build() { # architecture
  local arch=$1 dir=build/release/$1
  cmake --preset "release-$arch" >/dev/null
  cmake --build --preset "release-$arch" -j "$jobs" >&2
  bash tests/release/programs_test.sh --stripped "$arch-w64-mingw32-objdump" \
    "$arch-w64-mingw32-windres" "$version" \
    "$dir/installer/programs/StavaAutomationBridge.exe" "$dir/installer/programs/Kickoff.exe" >&2
  echo "$dir/installer/programs"
}
programs32=$(release_build i686)
programs64=$(release_build x86_64)
setup=build/release/i686/installer/StavaAutomationBridge-$version-setup.exe

rm -rf dist
mkdir -p dist
cp "$setup" dist/
# The zip, with the time of the last commit on every entry, in UTC.
name=StavaAutomationBridge-$version
stage=build/release/$name
rm -rf "$stage"
mkdir -p "$stage/32-bit" "$stage/64-bit"
cp "$programs32/README-Windows.txt" "$stage/"
cp "$programs32/StavaAutomationBridge.exe" "$programs32/Kickoff.exe" "$stage/32-bit/"
cp "$programs64/StavaAutomationBridge.exe" "$programs64/Kickoff.exe" "$stage/64-bit/"
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
find "$stage" -exec touch -d "@$stamp" {} +
(cd build/release && TZ=UTC zip -q -X -r -9 "$root/dist/$name.zip" "$name")
(cd dist && sha256sum -- * > SHA256SUMS)

echo "dist/:"
(cd dist && for f in *; do printf '  %-44s %9d octets\n' "$f" "$(stat -c %s "$f")"; done)
echo "zip contents:"
unzip -l "dist/$name.zip" | sed -n 's/^ *\([0-9][0-9]*\)  .*  \(StavaAutomationBridge-.*[^/]\)$/  \2 \1/p'
