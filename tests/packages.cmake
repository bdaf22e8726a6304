# Packages packed by the host tool at build time from the folders under fixtures/packages, for the
# package and extraction tests, which find them in VU_TEST_PACKAGE_DIR.
set(VU_TEST_PACKAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/packages)
vu_pack_folder(${VU_TEST_PACKAGE_DIR}/nested.pkg ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/packages/nested)
add_custom_target(vu_test_packages DEPENDS ${VU_TEST_PACKAGE_DIR}/nested.pkg)
add_dependencies(vu_tests vu_test_packages)
target_compile_definitions(vu_tests PRIVATE
  VU_TEST_PACKAGE_DIR="${VU_TEST_PACKAGE_DIR}"
  VU_TEST_FIXTURE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/fixtures")

# Stand-ins for the HFS+ driver packages (the real drivers are third-party files), for the driver
# installation tests.
foreach(arch x86 x64)
  vu_pack_folder(${VU_TEST_PACKAGE_DIR}/hfs_${arch}.pkg ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/hfs_drivers/${arch})
endforeach()
add_custom_target(vu_test_hfs_packages DEPENDS ${VU_TEST_PACKAGE_DIR}/hfs_x86.pkg ${VU_TEST_PACKAGE_DIR}/hfs_x64.pkg)
add_dependencies(vu_tests vu_test_hfs_packages)
