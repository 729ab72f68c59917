# libFuzzer target for page CSS assembly (include this file from the fuzz targets' CMakeLists.txt).
# Run for example:
#   build/fuzz/tests/fuzz/page_css_fuzz -max_len=4096 -dict=tests/fuzz/page_css.dict \
#       tests/fuzz/corpus/page_css
add_executable(page_css_fuzz ${CMAKE_CURRENT_LIST_DIR}/page_css_fuzz.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../support/uncached_assembly.cpp)
target_include_directories(page_css_fuzz PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(page_css_fuzz PRIVATE orlavine_extension)
target_link_options(page_css_fuzz PRIVATE -fsanitize=fuzzer)
