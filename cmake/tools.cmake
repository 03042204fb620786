# Tools of the repository. bmp256_sample_image makes the photo-like picture
# of our own making that make_sample writes (samples/sample.bmp is its default
# output, committed), the benchmark measures and the tests convert.
add_library(bmp256_sample_image STATIC ${PROJECT_SOURCE_DIR}/tools/sample_image.cpp)
target_include_directories(bmp256_sample_image PUBLIC ${PROJECT_SOURCE_DIR}/tools)
bmp256_own_target(bmp256_sample_image)

add_executable(make_sample ${PROJECT_SOURCE_DIR}/tools/make_sample.cpp)
target_link_libraries(make_sample PRIVATE bmp256_sample_image)
bmp256_own_target(make_sample)
