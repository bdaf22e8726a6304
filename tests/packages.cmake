# Packages packed by the host tool at build time from the folders under fixtures/packages, for the
# package and extraction tests, which find them in VU_TEST_PACKAGE_DIR.
set(VU_TEST_PACKAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/packages)
vu_pack_folder(${VU_TEST_PACKAGE_DIR}/nested.pkg ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/packages/nested)
add_custom_target(vu_test_packages DEPENDS ${VU_TEST_PACKAGE_DIR}/nested.pkg)
add_dependencies(vu_tests vu_test_packages)
target_compile_definitions(vu_tests PRIVATE
  VU_TEST_PACKAGE_DIR="${VU_TEST_PACKAGE_DIR}"
  VU_TEST_FIXTURE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/fixtures")
