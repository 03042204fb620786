# Tools of the repository: make_sample writes the photo-like 24-bit BMPs of
# our own making (samples/sample.bmp is its default output, committed).
if(NOT TARGET make_sample)
  add_executable(make_sample ${PROJECT_SOURCE_DIR}/tools/make_sample.cpp)
  bmp256_own_target(make_sample)
endif()
