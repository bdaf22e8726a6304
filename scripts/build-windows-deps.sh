#!/usr/bin/env bash
# Cross-builds the static libraries the Windows program links (zlib, bzip2, liblzma, expat, pcre2,
# libzip, libarchive, libdeflate) for one MinGW-w64 architecture, from Debian's source packages, into a
# cached prefix outside the clone.
#
#   prefix=$(scripts/build-windows-deps.sh x86_64 | tail -n1)
#
# The last line of stdout is always the prefix. Build output goes to a log beside the prefix;
# on failure its tail is printed to stderr. The prefix name carries a hash of the package
# versions, the compilers and this script, so any change builds a fresh prefix and a repeated
# run only checks the completion stamp. Runs for the same prefix are serialised with flock.
#
# Environment: VU_DEPS_CACHE (default ~/.cache/velloran-deps), VU_DEPS_JOBS (default 2).
set -euo pipefail
shopt -s inherit_errexit

arch=${1:-}
case "$arch" in
    i686 | x86_64) ;;
    *) echo "usage: $0 <i686|x86_64>" >&2; exit 2 ;;
esac

host=$arch-w64-mingw32
sysroot=/usr/$host
script=$(readlink -f "${BASH_SOURCE[0]}")
repo=$(dirname "$(dirname "$script")")
toolchain=$repo/cmake/toolchain-$host.cmake
cache=${VU_DEPS_CACHE:-$HOME/.cache/velloran-deps}
srcdir=$cache/src
jobs=${VU_DEPS_JOBS:-2}

export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib
# Keep the build machine's .pc files (libxml2, openssl, ...) out of every configure run.
export PKG_CONFIG_PATH=
# Windows 7 is the oldest system the program runs on; without this the MinGW headers default to
# Windows 10 and the libraries may pick newer APIs.
winver="-D_WIN32_WINNT=0x0601 -DWINVER=0x0601"

for tool in "$CC" "$CXX" "$AR" "$RANLIB" cmake ninja make dpkg-source apt-get flock; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/setup.sh)" >&2; exit 1; }
done
[ -f "$toolchain" ] || { echo "missing $toolchain" >&2; exit 1; }
[ -f "$sysroot/lib/libz.a" ] || { echo "missing $sysroot/lib/libz.a (libz-mingw-w64-dev)" >&2; exit 1; }

packages=(bzip2 xz-utils expat pcre2 libzip libarchive libdeflate)
mkdir -p "$srcdir"

# The builds run with stderr sent to the log; fd 7 keeps the caller's stderr for the report.
exec 7>&2
log=
on_exit() {
    local status=$?
    set +x
    if [ "$status" -ne 0 ] && [ -n "$log" ] && [ -f "$log" ]; then
        echo "build-windows-deps: failed ($arch); last lines of $log:" >&7
        tail -n 40 "$log" >&7
    fi
}
trap on_exit EXIT

# --- Sources -------------------------------------------------------------------------------------
# The mirror may list a security update whose files it does not carry (yet), so the versions are
# tried newest first and a version that failed to download is remembered until the apt lists
# change. Files are moved into the cache with the .dsc last: a present .dsc means a full set.

apt_lists_newer_than() {
    [ -n "$(find /var/lib/apt/lists -maxdepth 1 -name '*Sources*' -newer "$1" -print -quit)" ]
}

source_versions() {
    apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ { print $2 }' | sort -rVu
}

fetch_source() {
    local name=$1 versions v file tmp
    versions=$(source_versions "$name")
    if [ -z "$versions" ]; then
        apt-get update -qq >&2 || true
        versions=$(source_versions "$name")
    fi
    for v in $versions; do
        file=$srcdir/${name}_${v#*:}
        if [ -f "$file.dsc" ]; then
            echo "$v"
            return 0
        fi
        if [ -f "$file.unavailable" ] && ! apt_lists_newer_than "$file.unavailable"; then
            continue
        fi
        tmp=$(mktemp -d "$srcdir/.fetch.XXXXXX")
        if (cd "$tmp" && apt-get source --download-only "$name=$v") >&2; then
            find "$tmp" -maxdepth 1 -type f ! -name '*.dsc' -exec mv -f {} "$srcdir/" \;
            mv -f "$tmp"/*.dsc "$srcdir/"
            rm -rf "$tmp" "$file.unavailable"
            echo "$v"
            return 0
        fi
        rm -rf "$tmp"
        touch "$file.unavailable"
    done
    echo "no downloadable source package for $name (tried: ${versions:-none})" >&2
    return 1
}

declare -A version
log=$cache/fetch.log
exec 8>"$cache/src.lock"
flock 8
: >"$log"
for name in "${packages[@]}"; do
    version[$name]=$(fetch_source "$name" 2>>"$log")
done
flock -u 8
exec 8>&-

# --- Prefix --------------------------------------------------------------------------------------

hash=$({
    cat "$script" "$toolchain"
    for name in "${packages[@]}"; do echo "$name ${version[$name]}"; done
    dpkg-query -W -f '${Package} ${Version}\n' libz-mingw-w64-dev gcc-mingw-w64-base mingw-w64-common
} | sha1sum | cut -c1-12)
prefix=$cache/$arch-$hash
stamp=$prefix/.complete

if [ -f "$stamp" ]; then
    echo "$prefix"
    exit 0
fi

exec 9>"$prefix.lock"
flock 9
if [ -f "$stamp" ]; then # another run finished it while we waited
    echo "$prefix"
    exit 0
fi

log=$prefix.log
work=$cache/work-$arch-$hash
rm -rf "$prefix" "$work"
mkdir -p "$prefix/include" "$prefix/lib/pkgconfig" "$work"
echo "building the $arch libraries into $prefix (log: $log)" >&2
started=$SECONDS

# --- Builds --------------------------------------------------------------------------------------

unpack() {
    local name=$1 dir=$work/$1 now
    dpkg-source -x "$srcdir/${name}_${version[$name]#*:}.dsc" "$dir"
    # Debian's patches edit configure.ac and Makefile.am (test lists and pkg-config details
    # only); give the generated autotools files one common, newer time so make does not try to
    # rerun automake with whatever version this machine has.
    now=$(date +%s)
    find "$dir" \( -name aclocal.m4 -o -name configure -o -name config.h.in -o -name Makefile.in \) \
        -exec touch -d "@$now" {} +
}

cmake_build() {
    local src=$1 build=$2
    shift 2
    cmake -S "$src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="$winver" \
        -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF \
        "$@"
    cmake --build "$build" -j "$jobs"
    cmake --install "$build"
}

build_zlib() {
    # Debian ships zlib already cross-built. Copy it into the prefix: the MinGW sysroot also
    # holds libz.dll.a, which ld would pick before libz.a for -lz.
    cp "$sysroot/lib/libz.a" "$prefix/lib/"
    cp "$sysroot/include/zlib.h" "$sysroot/include/zconf.h" "$prefix/include/"
}

build_bzip2() {
    unpack bzip2
    make -C "$work/bzip2" -j "$jobs" libbz2.a \
        CC="$CC" AR="$AR" RANLIB="$RANLIB" CFLAGS="-O2 -D_FILE_OFFSET_BITS=64 $winver"
    cp "$work/bzip2/libbz2.a" "$prefix/lib/"
    cp "$work/bzip2/bzlib.h" "$prefix/include/"
}

build_xz() {
    unpack xz-utils
    cd "$work/xz-utils"
    ./configure --host="$host" --prefix="$prefix" --disable-shared --enable-static \
        --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
        --disable-scripts --disable-doc --disable-nls --disable-dependency-tracking \
        CFLAGS="-O2" CPPFLAGS="$winver"
    make -C src/liblzma -j "$jobs"
    make -C src/liblzma install
}

build_expat() {
    unpack expat
    # Debian's security patches test "#if XML_DTD == 1", which the autotools config header
    # satisfies but the CMake one (an empty define) does not.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$work/expat/expat/expat_config.h.cmake"
    cmake_build "$work/expat/expat" "$work/expat-build" \
        -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
        -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF \
        -DEXPAT_BUILD_PKGCONFIG=ON
}

build_pcre2() {
    unpack pcre2
    cd "$work/pcre2"
    ./configure --host="$host" --prefix="$prefix" --disable-shared --enable-static \
        --enable-pcre2-8 --disable-pcre2-16 --disable-pcre2-32 --disable-dependency-tracking \
        CFLAGS="-O2" CPPFLAGS="$winver"
    # Only the 8-bit library: pcre2grep, pcre2test and the POSIX wrapper are not needed.
    make -j "$jobs" libpcre2-8.la
    cp .libs/libpcre2-8.a "$prefix/lib/"
    cp src/pcre2.h "$prefix/include/"
    cp libpcre2-8.pc "$prefix/lib/pkgconfig/"
}

build_libzip() {
    unpack libzip
    cmake_build "$work/libzip" "$work/libzip-build" \
        -DCMAKE_C_FLAGS="$winver -DLZMA_API_STATIC" \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
        -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_BZIP2=ON -DENABLE_LZMA=ON \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
        -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
        -DBZIP2_LIBRARY_RELEASE="$prefix/lib/libbz2.a" -DBZIP2_INCLUDE_DIR="$prefix/include" \
        -DLIBLZMA_LIBRARY="$prefix/lib/liblzma.a" -DLIBLZMA_INCLUDE_DIR="$prefix/include"
}

build_libarchive() {
    unpack libarchive
    cd "$work/libarchive"
    # Autotools rather than CMake: libarchive's CMake configure breaks when cross-compiling
    # with CMake 3.25. Expat provides the xar reader; the digests come from Windows CryptoAPI/CNG.
    ./configure --host="$host" --prefix="$prefix" --disable-shared --enable-static \
        --disable-bsdtar --disable-bsdcat --disable-bsdcpio --disable-acl --disable-xattr \
        --disable-posix-regex-lib --disable-maintainer-mode --disable-dependency-tracking \
        --with-zlib --with-bz2lib --with-lzma --with-expat --without-xml2 \
        --without-openssl --without-nettle --without-mbedtls --without-lz4 --without-zstd \
        --without-lzo2 --without-libb2 --without-iconv --without-libiconv-prefix \
        CFLAGS="-O2" LDFLAGS="-L$prefix/lib" \
        CPPFLAGS="-I$prefix/include $winver -DLIBARCHIVE_STATIC -DLZMA_API_STATIC -DXML_STATIC"
    # configure quietly drops a codec it cannot link; a missing one must stop the build.
    local feature
    for feature in HAVE_ZLIB_H HAVE_LIBBZ2 HAVE_LIBLZMA HAVE_LIBEXPAT; do
        grep -q "^#define $feature 1" config.h || { echo "libarchive: $feature not detected" >&2; return 1; }
    done
    make -j "$jobs" libarchive.la
    make install-libLTLIBRARIES install-includeHEADERS install-pkgconfigDATA
}

build_libdeflate() {
    unpack libdeflate
    # Its Makefile names the static library of a MinGW target "libdeflatestatic.lib".
    make -C "$work/libdeflate" -j "$jobs" libdeflatestatic.lib CC="$CC" AR="$AR" CFLAGS="-O2 $winver"
    cp "$work/libdeflate/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
    cp "$work/libdeflate/libdeflate.h" "$prefix/include/"
}

{
    PS4='+ [${SECONDS}s] '
    set -x
    build_zlib
    build_bzip2
    build_xz
    build_expat
    build_pcre2
    build_libzip
    build_libarchive
    build_libdeflate
    set +x
} >"$log" 2>&1

# Libtool archives carry absolute paths and are of no use to CMake consumers.
find "$prefix/lib" -name '*.la' -delete
rm -rf "$work"
{
    for name in "${packages[@]}"; do echo "$name ${version[$name]}"; done
    dpkg-query -W -f '${Package} ${Version}\n' libz-mingw-w64-dev
} >"$stamp"
echo "built in $((SECONDS - started)) s" >&2
echo "$prefix"
