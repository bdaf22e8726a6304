# Writes the C++ arrays of the boot-sector images.
# Run as: cmake -DOUT=<file.cpp> -DIMAGES=<symbol=file.bin=size,...> -P embed_boot_images.cmake
# A file whose size differs from the stated one stops the build: the array types in
# boot_images.h fix the sizes.
string(REPLACE "," ";" images "${IMAGES}")
set(text "// Generated from the assembled boot sectors; do not edit.\n#include \"boot_images.h\"\n\nnamespace vu {\n")
foreach(item IN LISTS images)
  string(REPLACE "=" ";" parts "${item}")
  list(GET parts 0 symbol)
  list(GET parts 1 bin)
  list(GET parts 2 size)
  file(SIZE "${bin}" actual)
  if(NOT actual EQUAL size)
    message(FATAL_ERROR "${bin} is ${actual} bytes, expected ${size}")
  endif()
  file(READ "${bin}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
  string(APPEND text "\nconst unsigned char ${symbol}[${size}] = {\n  ${bytes}\n};\n")
endforeach()
string(APPEND text "\n}  // namespace vu\n")
file(WRITE "${OUT}" "${text}")
