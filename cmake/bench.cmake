# The stage benchmark bmp256-bench (Google Benchmark). Built when the library
# is found; BMP256_BENCH=OFF leaves it out. Never part of the Windows cross build.
option(BMP256_BENCH "Build the stage benchmark when Google Benchmark is available" ON)
if(BMP256_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(bmp256-bench
      ${CMAKE_SOURCE_DIR}/bench/stages_bench.cpp
      ${CMAKE_SOURCE_DIR}/bench/photo_image.cpp)
    target_link_libraries(bmp256-bench PRIVATE bmp256_core benchmark::benchmark)
  else()
    message(STATUS "Google Benchmark not found: bmp256-bench is not built")
  endif()
endif()
