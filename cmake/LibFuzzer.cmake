# Whether clang's libFuzzer is here (checked again while it is not), and
# kdx_add_fuzz_test() for the fuzz tests: without libFuzzer a fuzz test is
# reported as skipped by ctest rather than failing, and configuring never fails.
#
#   KDX_FUZZ_TESTS      OFF leaves the fuzz tests out (listed as skipped), as the
#                       package build does
#   KDX_LIBFUZZER_CXX   the clang++ that links -fsanitize=fuzzer,address,undefined,
#                       or empty

option(KDX_FUZZ_TESTS "Build and run the fuzz tests where clang's libFuzzer is installed" ON)
if(NOT KDX_FUZZ_TESTS)
    set(KDX_LIBFUZZER_CXX "" CACHE INTERNAL "clang++ with libFuzzer, or empty")
    message(STATUS "libFuzzer: the fuzz tests are off (KDX_FUZZ_TESTS)")
elseif(NOT KDX_LIBFUZZER_CXX)
    set(found "")
    find_program(KDX_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)
    if(KDX_CLANGXX)
        set(dir ${CMAKE_BINARY_DIR}/CMakeFiles/libfuzzer-check)
        file(WRITE ${dir}/check.cpp
            "#include <cstddef>\n#include <cstdint>\n"
            "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }\n")
        execute_process(
            COMMAND ${KDX_CLANGXX} -fsanitize=fuzzer,address,undefined check.cpp -o check
            WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
        if(rc EQUAL 0)
            set(found ${KDX_CLANGXX})
        endif()
    endif()
    if(found)
        message(STATUS "libFuzzer: ${found}")
    else()
        message(STATUS "libFuzzer: not found (clang and libclang-rt-14-dev); the fuzz tests are skipped")
    endif()
    set(KDX_LIBFUZZER_CXX "${found}" CACHE INTERNAL "clang++ with libFuzzer, or empty")
endif()

# kdx_add_fuzz_test(NAME COMMAND args...): add_test() when libFuzzer is here,
# otherwise a test that ctest lists as skipped. Give the command the compiler
# from KDX_LIBFUZZER_CXX.
function(kdx_add_fuzz_test name)
    cmake_parse_arguments(F "" "" "COMMAND" ${ARGN})
    if(KDX_LIBFUZZER_CXX)
        add_test(NAME ${name} COMMAND ${F_COMMAND})
    else()
        add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo
            "${name}: skipped, clang's libFuzzer is not installed (clang, libclang-rt-14-dev)")
        set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped, clang's libFuzzer")
    endif()
endfunction()
