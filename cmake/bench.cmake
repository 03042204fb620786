# The stage benchmark bmp256-bench (Google Benchmark). Built when the library
# is found; BMP256_BENCH=OFF leaves it out. Never part of the Windows cross build.
if(BMP256_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(bmp256-bench ${PROJECT_SOURCE_DIR}/bench/stages_bench.cpp)
    target_link_libraries(bmp256-bench PRIVATE bmp256_reference bmp256_desktop bmp256_sample_image benchmark::benchmark)
    bmp256_own_target(bmp256-bench)
  else()
    message(STATUS "Google Benchmark not found: bmp256-bench is not built")
  endif()
endif()
