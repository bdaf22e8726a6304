#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Safe to run again: apt skips what is there, the deb-src stanza is added once.
set -euo pipefail

src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && ! grep -q '^Types: deb deb-src\|^Types: deb-src' "$src"; then
    sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
    rm -f /var/lib/apt/lists/lock
    need_update=1
fi

packages=(
    build-essential cmake ninja-build pkg-config git ca-certificates
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    libz-mingw-w64-dev mingw-w64-tools
    autoconf automake libtool dpkg-dev
    googletest libgtest-dev libgmock-dev
    zlib1g-dev libexpat1-dev libpcre2-dev liblzma-dev libzip-dev libbz2-dev libarchive-dev libdeflate-dev
    libcurl4-openssl-dev libssl-dev
    nasm qemu-system-x86 dosfstools exfatprogs exfat-fuse ntfs-3g mtools fdisk
    7zip dmg2img hfsplus libarchive-tools xorriso python3 fp-utils
    wine wine64 fonts-wine xvfb xdotool imagemagick x11-utils
)

stamp=/var/lib/velloran-setup.stamp
want=$(printf '%s\n' "${packages[@]}" | sha1sum | cut -c1-12)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -z "${need_update:-}" ]; then
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
echo "$want" > "$stamp"
