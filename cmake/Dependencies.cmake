# Third-party libraries as one interface target, vu_deps.
# Native builds use Debian's -dev packages; Windows builds use the static libraries that
# scripts/build-windows-deps.sh cross-builds into VU_DEPS_PREFIX.
add_library(vu_deps INTERFACE)
if(WIN32)
  set(VU_DEPS_PREFIX "" CACHE PATH "Prefix of the cross-built Windows libraries")
  if(NOT VU_DEPS_PREFIX)
    message(FATAL_ERROR "Set VU_DEPS_PREFIX (scripts/build-windows-deps.sh prints it)")
  endif()
  if(NOT EXISTS "${VU_DEPS_PREFIX}/.complete")
    message(FATAL_ERROR "${VU_DEPS_PREFIX} is not a finished prefix of scripts/build-windows-deps.sh")
  endif()

  # One imported archive per library, naming the libraries it calls, so CMake links them by full
  # path in dependency order. Full paths matter: the MinGW sysroot also holds libz.dll.a, which
  # a plain -lz would prefer, and the program must not need zlib1.dll.
  function(vu_import_static name file)
    add_library(vu::${name} STATIC IMPORTED)
    set_target_properties(vu::${name} PROPERTIES
      IMPORTED_LOCATION "${VU_DEPS_PREFIX}/lib/${file}"
      INTERFACE_INCLUDE_DIRECTORIES "${VU_DEPS_PREFIX}/include")
    if(ARGN)
      set_target_properties(vu::${name} PROPERTIES INTERFACE_LINK_LIBRARIES "${ARGN}")
    endif()
  endfunction()
  vu_import_static(zlib libz.a)
  vu_import_static(bzip2 libbz2.a)
  vu_import_static(lzma liblzma.a)
  vu_import_static(expat libexpat.a)
  vu_import_static(pcre2 libpcre2-8.a)
  vu_import_static(deflate libdeflate.a)
  # libzip: WinZip AES through CNG (bcrypt), random bytes through CryptoAPI (advapi32).
  vu_import_static(zip libzip.a vu::bzip2 vu::lzma vu::zlib bcrypt advapi32)
  # libarchive: xar through Expat, digests through CryptoAPI and CNG.
  vu_import_static(archive libarchive.a vu::expat vu::lzma vu::bzip2 vu::zlib bcrypt advapi32)

  # The headers declare their functions dllimport unless told the library is static.
  # bzlib.h includes <windows.h> itself; include it after the program's own Windows defines.
  target_compile_definitions(vu_deps INTERFACE
    LIBARCHIVE_STATIC ZIP_STATIC PCRE2_STATIC LZMA_API_STATIC XML_STATIC PCRE2_CODE_UNIT_WIDTH=8)
  target_link_libraries(vu_deps INTERFACE
    vu::archive vu::zip vu::expat vu::pcre2 vu::deflate vu::lzma vu::bzip2 vu::zlib)
else()
  find_package(PkgConfig REQUIRED)
  # libcurl: the simulated PC's HTTP client behind the network seam (Windows builds use WinINet).
  # libcrypto: its digests and signature checks (Windows builds use bcrypt.dll).
  pkg_check_modules(VU_PKG REQUIRED IMPORTED_TARGET
    zlib expat libpcre2-8 liblzma libzip libarchive libdeflate libcurl libcrypto)
  target_compile_definitions(vu_deps INTERFACE PCRE2_CODE_UNIT_WIDTH=8)
  target_link_libraries(vu_deps INTERFACE PkgConfig::VU_PKG bz2)
endif()
