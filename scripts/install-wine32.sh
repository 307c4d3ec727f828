#!/usr/bin/env bash
# Installs the 32-bit Wine loader beside the system's wine64, so that i686
# programs run in 32-bit prefixes and, as on 64-bit Windows, in 64-bit ones.
# Idempotent.
#
# Debian's wine32:i386 and libwine:i386 of the installed wine64's version
# are unpacked into a tree of their own (/opt/stava-wine32) instead of being
# installed: installing them pulls in about a hundred i386 libraries, which
# on a new machine conflict with older amd64 ones, and Wine's core needs
# only the 32-bit C library (libc6-i386). wine64 starts the 32-bit loader of
# a 64-bit prefix as /usr/lib/wine/wine, where wine32 would put it, so a
# link there points into the tree.
set -euo pipefail
tree=/opt/stava-wine32
loader=$tree/usr/lib/wine/wine
dlls=$tree/usr/lib/i386-linux-gnu/wine/i386-windows
version=$(dpkg-query -W -f='${Version}' wine64)

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

installed() {
  [ -x "$loader" ] && [ -e "$dlls/ntdll.dll" ] && [ -e "$dlls/zlib1.dll" ] &&
    [ "$(cat "$tree/version" 2>/dev/null)" == "$version" ] &&
    [ "$(readlink /usr/lib/wine/wine)" == "$loader" ]
}
installed && exit 0
# Debian's own wine32 installed: nothing to add.
if [ -x /usr/lib/wine/wine ] && [ ! -L /usr/lib/wine/wine ] &&
   dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_cmd dpkg --add-architecture i386
fi
# An index of another suite may be mid-sync; the two packages come from the
# main suite, so only their download has to succeed.
$sudo_cmd apt-get update -qq || true
download=$(mktemp -d)
trap 'rm -rf "$download"' EXIT
(cd "$download" && chmod 777 . &&
  apt-get download -qq "wine32:i386=$version" "libwine:i386=$version")

$sudo_cmd rm -rf "$tree"
$sudo_cmd mkdir -p "$tree"
for deb in "$download"/*.deb; do
  $sudo_cmd dpkg-deb -x "$deb" "$tree"
done
# libwine's install script makes this one from mingw's zlib; the amd64
# package's copy is the same file.
$sudo_cmd cp /usr/lib/x86_64-linux-gnu/wine/i386-windows/zlib1.dll "$dlls/"
echo "$version" | $sudo_cmd tee "$tree/version" >/dev/null
$sudo_cmd ln -sfn "$loader" /usr/lib/wine/wine
installed || { echo "32-bit Wine was not installed" >&2; exit 1; }
echo "32-bit Wine $version installed in $tree"
