# Unit tests of the conversion core.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

file(GLOB BMP256_CORE_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/bitmap/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/quantize/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/mapping/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/convert/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/common/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/speed/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/safety/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/util/*.cpp)
add_executable(core_tests ${BMP256_CORE_TEST_SOURCES})
target_include_directories(core_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(core_tests PRIVATE bmp256_core GTest::gtest_main)
target_compile_definitions(core_tests PRIVATE
  BMP256_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  BMP256_SUITE_DIR="${CMAKE_SOURCE_DIR}/tests/data/bmpsuite")
# Listing the tests through wine (the Windows build) can take seconds on a
# busy machine; the default allows 5.
gtest_discover_tests(core_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
