# libFuzzer target for addresses: the web address check and the catalogue address forms. Run for
# example:
#   build/fuzz/tests/fuzz/web_address_fuzz -max_len=512 tests/fuzz/corpus/web_address
add_executable(web_address_fuzz ${CMAKE_CURRENT_LIST_DIR}/web_address_fuzz.cpp)
target_link_libraries(web_address_fuzz PRIVATE orlavine_library)
target_link_options(web_address_fuzz PRIVATE -fsanitize=fuzzer)
