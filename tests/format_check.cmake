# Fails when a C++ file of the project is not formatted as .clang-format says.
set(dirs text model net extension formats preprocess library sync session desktop editor app tests
    bench)
set(files)
foreach(dir ${dirs})
    file(GLOB_RECURSE found ${SOURCE_DIR}/${dir}/*.cpp ${SOURCE_DIR}/${dir}/*.h)
    list(APPEND files ${found})
endforeach()
list(FILTER files EXCLUDE REGEX "/build/|/node_modules/")
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${files}
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "clang-format found unformatted files (run clang-format -i on them)")
endif()
