# Icons, the HOW-TO table and the packed packages, compiled into vu_resources.
# The icons are drawn by resources/icons/draw_icons.py at build time. The packages are packed by
# resources/packages/pack_package.py from folders named by cache variables; the FreeDOS system
# files and the HFS+ drivers are third-party files the sources do not hold, so a build that is
# not pointed at them carries none (empty spans, see embedded.h).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VU_PYTHON ${Python3_EXECUTABLE} CACHE INTERNAL "python3 that runs the resource generators")
set(VU_PACK_PACKAGE ${CMAKE_CURRENT_LIST_DIR}/packages/pack_package.py CACHE INTERNAL "")

set(VU_FREEDOS_DIR "" CACHE PATH "Folder with the FreeDOS system files to carry as a package (kernel.sys, command.com, ...)")
set(VU_HFS_X86_DIR "" CACHE PATH "Folder with AppleHFS.sys and AppleMNT.sys for 32-bit Windows")
set(VU_HFS_X64_DIR "" CACHE PATH "Folder with AppleHFS.sys and AppleMNT.sys for 64-bit Windows")

# vu_pack_folder(<output package> <folder>): packs the folder at build time; the package is
# rebuilt when a file in the folder changes (new files are seen at the next configure).
function(vu_pack_folder out folder)
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS LIST_DIRECTORIES false "${folder}/*")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${VU_PYTHON} ${VU_PACK_PACKAGE} ${folder} ${out}
    DEPENDS ${VU_PACK_PACKAGE} ${inputs}
    COMMENT "Packing ${folder}"
    VERBATIM)
endfunction()

set(VU_RESOURCE_GENERATED ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(VU_ICON_DIR ${VU_RESOURCE_GENERATED}/icons)
set(VU_EMBED_ITEMS)
set(VU_EMBED_INPUTS)

set(VU_ICON_FILES)
foreach(index RANGE 7)
  list(APPEND VU_ICON_FILES ${VU_ICON_DIR}/icon${index}.ico)
  list(APPEND VU_EMBED_ITEMS "Icon${index}=${VU_ICON_DIR}/icon${index}.ico")
endforeach()
add_custom_command(
  OUTPUT ${VU_ICON_FILES}
  COMMAND ${VU_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/icons/draw_icons.py ${VU_ICON_DIR}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/icons/draw_icons.py
  COMMENT "Drawing the icons"
  VERBATIM)
list(APPEND VU_EMBED_INPUTS ${VU_ICON_FILES})

# symbol | cache variable naming the folder | package file
set(VU_PACKAGES
  FreeDosPackage VU_FREEDOS_DIR FreeDos.pkg
  HfsDriversX86Package VU_HFS_X86_DIR HfsDriversX86.pkg
  HfsDriversX64Package VU_HFS_X64_DIR HfsDriversX64.pkg)
while(VU_PACKAGES)
  list(POP_FRONT VU_PACKAGES symbol variable file)
  set(folder "${${variable}}")
  if(folder)
    if(NOT IS_DIRECTORY "${folder}")
      message(FATAL_ERROR "${variable} names ${folder}, which is not a folder")
    endif()
    set(package ${VU_RESOURCE_GENERATED}/packages/${file})
    vu_pack_folder(${package} ${folder})
    list(APPEND VU_EMBED_ITEMS "${symbol}=${package}")
    list(APPEND VU_EMBED_INPUTS ${package})
    message(STATUS "Carrying ${symbol} from ${folder}")
  else()
    list(APPEND VU_EMBED_ITEMS "${symbol}=")
  endif()
endwhile()

set(VU_EMBEDDED_DATA ${VU_RESOURCE_GENERATED}/embedded_data.cpp)
add_custom_command(
  OUTPUT ${VU_EMBEDDED_DATA}
  COMMAND ${VU_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/embed_files.py ${VU_EMBEDDED_DATA} ${VU_EMBED_ITEMS}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/embed_files.py ${VU_EMBED_INPUTS}
  COMMENT "Embedding icons and packages"
  VERBATIM)

target_sources(vu_resources PRIVATE ${VU_EMBEDDED_DATA} ${CMAKE_CURRENT_LIST_DIR}/embedded.cpp)
target_include_directories(vu_resources PUBLIC ${CMAKE_CURRENT_LIST_DIR})
# The item list for builds of the program that carry other packages (the Wine smoke test's).
set_property(GLOBAL PROPERTY VU_EMBED_ITEMS ${VU_EMBED_ITEMS})
set_property(GLOBAL PROPERTY VU_EMBED_INPUTS ${VU_EMBED_INPUTS})
