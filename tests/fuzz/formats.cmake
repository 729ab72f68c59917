# libFuzzer targets for the style-document readers (included from the fuzz targets'
# CMakeLists.txt). Each has a seed corpus in tests/fuzz/corpus/<reader>; run for example:
#   build/fuzz-formats/tests/fuzz/usercss_fuzz -max_len=8192 -dict=tests/fuzz/formats.dict \
#       <scratch corpus dir> tests/fuzz/corpus/usercss
# The same corpora are replayed by formats_tests in the normal build.
foreach(reader usercss moz_document moz_document_rules variable_declaration)
    add_executable(${reader}_fuzz ${CMAKE_CURRENT_LIST_DIR}/${reader}_fuzz.cpp)
    target_link_libraries(${reader}_fuzz PRIVATE orlavine_formats)
    target_link_options(${reader}_fuzz PRIVATE -fsanitize=fuzzer)
endforeach()
