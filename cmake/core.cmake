# The conversion core: bitmap files, palette construction, pixel mapping and
# the one-call conversion, shared by every program and test.
file(GLOB BMP256_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/bitmap/*.cpp
  ${CMAKE_SOURCE_DIR}/src/quantize/*.cpp
  ${CMAKE_SOURCE_DIR}/src/mapping/*.cpp
  ${CMAKE_SOURCE_DIR}/src/util/*.cpp)
add_library(bmp256_core STATIC ${BMP256_CORE_SOURCES} ${CMAKE_SOURCE_DIR}/src/app/convert.cpp)
target_include_directories(bmp256_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
find_package(Threads REQUIRED)
target_link_libraries(bmp256_core PUBLIC Threads::Threads)

if(EXISTS ${CMAKE_SOURCE_DIR}/src/app/convert_main.cpp)
  file(GLOB BMP256_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/cli/*.cpp)
  add_executable(bmp256-convert ${CMAKE_SOURCE_DIR}/src/app/convert_main.cpp ${BMP256_CLI_SOURCES})
  target_compile_definitions(bmp256-convert PRIVATE BMP256_VERSION="${PROJECT_VERSION}")
  target_link_libraries(bmp256-convert PRIVATE bmp256_core)
  install(TARGETS bmp256-convert RUNTIME DESTINATION bin)
endif()
