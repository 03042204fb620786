# The conversion core: bitmap files, palette construction, pixel mapping and
# the one-call conversion, shared by every program and test.
file(GLOB BMP256_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/bitmap/*.cpp
  ${CMAKE_SOURCE_DIR}/src/quantize/*.cpp
  ${CMAKE_SOURCE_DIR}/src/mapping/*.cpp
  ${CMAKE_SOURCE_DIR}/src/util/*.cpp)

# PNG and JPEG sources go through the system's libpng and libjpeg when their
# development files are there; without them the build goes on and
# bmp256-convert reads BMP only, saying so. The Windows cross-build has
# neither.
set(BMP256_DECODE_SOURCES
  ${CMAKE_SOURCE_DIR}/src/decode/decode_image.cpp
  ${CMAKE_SOURCE_DIR}/src/decode/decode_none.cpp)
set(BMP256_DECODE_DEFINITIONS "")
set(BMP256_DECODE_LIBRARIES "")
if(NOT CMAKE_CROSSCOMPILING)
  find_package(PNG QUIET)
  find_package(JPEG QUIET)
endif()
if(PNG_FOUND)
  list(APPEND BMP256_DECODE_SOURCES ${CMAKE_SOURCE_DIR}/src/decode/decode_png.cpp)
  list(APPEND BMP256_DECODE_DEFINITIONS BMP256_HAVE_PNG)
  list(APPEND BMP256_DECODE_LIBRARIES PNG::PNG)
elseif(NOT CMAKE_CROSSCOMPILING)
  message(WARNING "libpng development files not found (Debian package libpng-dev): "
                  "bmp256-convert will refuse PNG sources")
endif()
if(JPEG_FOUND)
  list(APPEND BMP256_DECODE_SOURCES ${CMAKE_SOURCE_DIR}/src/decode/decode_jpeg.cpp)
  list(APPEND BMP256_DECODE_DEFINITIONS BMP256_HAVE_JPEG)
  list(APPEND BMP256_DECODE_LIBRARIES JPEG::JPEG)
elseif(NOT CMAKE_CROSSCOMPILING)
  message(WARNING "libjpeg development files not found (Debian package libjpeg62-turbo-dev): "
                  "bmp256-convert will refuse JPEG sources")
endif()

add_library(bmp256_core STATIC ${BMP256_CORE_SOURCES} ${BMP256_DECODE_SOURCES}
  ${CMAKE_SOURCE_DIR}/src/app/convert.cpp)
target_include_directories(bmp256_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(bmp256_core PRIVATE ${BMP256_DECODE_DEFINITIONS})
find_package(Threads REQUIRED)
target_link_libraries(bmp256_core PUBLIC Threads::Threads ${BMP256_DECODE_LIBRARIES})

if(EXISTS ${CMAKE_SOURCE_DIR}/src/app/convert_main.cpp)
  add_executable(bmp256-convert ${CMAKE_SOURCE_DIR}/src/app/convert_main.cpp)
  target_compile_definitions(bmp256-convert PRIVATE BMP256_VERSION="${PROJECT_VERSION}")
  target_link_libraries(bmp256-convert PRIVATE bmp256_core)
  install(TARGETS bmp256-convert RUNTIME DESTINATION bin)
endif()
