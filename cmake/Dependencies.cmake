# Third-party libraries as one interface target, vu_deps.
# Native builds use Debian's -dev packages; Windows builds use the static libraries that
# scripts/build-windows-deps.sh cross-builds into VU_DEPS_PREFIX.
add_library(vu_deps INTERFACE)
if(WIN32)
  set(VU_DEPS_PREFIX "" CACHE PATH "Prefix of the cross-built Windows libraries")
  if(NOT VU_DEPS_PREFIX)
    message(FATAL_ERROR "Set VU_DEPS_PREFIX (scripts/build-windows-deps.sh prints it)")
  endif()
  target_include_directories(vu_deps INTERFACE ${VU_DEPS_PREFIX}/include)
  target_link_directories(vu_deps INTERFACE ${VU_DEPS_PREFIX}/lib)
  target_compile_definitions(vu_deps INTERFACE PCRE2_STATIC LZMA_API_STATIC LIBARCHIVE_STATIC XML_STATIC PCRE2_CODE_UNIT_WIDTH=8)
  target_link_libraries(vu_deps INTERFACE archive zip expat pcre2-8 lzma bz2 z bcrypt)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(VU_PKG REQUIRED IMPORTED_TARGET zlib expat libpcre2-8 liblzma libzip libarchive)
  target_compile_definitions(vu_deps INTERFACE PCRE2_CODE_UNIT_WIDTH=8)
  target_link_libraries(vu_deps INTERFACE PkgConfig::VU_PKG bz2)
endif()
