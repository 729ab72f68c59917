# libFuzzer target for the browser host's message handling. Run for example:
#   build/fuzz/tests/fuzz/host_message_fuzz -max_len=4096 tests/fuzz/corpus/host_message
add_executable(host_message_fuzz ${CMAKE_CURRENT_LIST_DIR}/host_message_fuzz.cpp)
target_link_libraries(host_message_fuzz PRIVATE orlavine_extension)
target_link_options(host_message_fuzz PRIVATE -fsanitize=fuzzer)
