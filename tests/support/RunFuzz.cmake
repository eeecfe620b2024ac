# Runs a standalone fuzz project for a bounded time: configures and builds it
# with clang, then lets libFuzzer run its target. Any finding (crash, sanitizer
# report, broken invariant) fails the test.
#
# Expects: FUZZ_SOURCE_DIR, TARGET, DICT, WORK_DIR, SECONDS, GENERATOR and
# KDX_SOURCE_DIR (handed to the fuzz project); RSS_LIMIT_MB, when set, fails a
# run whose memory grows past it.

foreach(v FUZZ_SOURCE_DIR TARGET DICT WORK_DIR SECONDS GENERATOR KDX_SOURCE_DIR)
    if(NOT DEFINED ${v})
        message(FATAL_ERROR "RunFuzz.cmake: ${v} is not set")
    endif()
endforeach()

# The compiler the configure step found able to link libFuzzer, else a search.
if(NOT CLANGXX)
    find_program(CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)
endif()
if(NOT CLANGXX)
    message(FATAL_ERROR "clang++ not found: install clang and libclang-rt-14-dev (scripts/bootstrap.sh)")
endif()

set(build "${WORK_DIR}/build")
execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${FUZZ_SOURCE_DIR} -B ${build} -G "${GENERATOR}"
            -DCMAKE_CXX_COMPILER=${CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKDX_SOURCE_DIR=${KDX_SOURCE_DIR}
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configuring the fuzz target failed (${rc})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "building the fuzz target failed (${rc})")
endif()

# The corpus grows in the build folder; the seeds in the source tree are only read.
file(MAKE_DIRECTORY ${WORK_DIR}/corpus ${WORK_DIR}/artifacts)
set(limits)
if(RSS_LIMIT_MB)
    list(APPEND limits -rss_limit_mb=${RSS_LIMIT_MB})
endif()
execute_process(
    COMMAND ${build}/${TARGET} -max_total_time=${SECONDS} -timeout=10 ${limits} -print_final_stats=1
            -dict=${FUZZ_SOURCE_DIR}/${DICT} -artifact_prefix=${WORK_DIR}/artifacts/
            ${WORK_DIR}/corpus ${FUZZ_SOURCE_DIR}/seeds
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the fuzzer found a fault (exit ${rc}); the input is in ${WORK_DIR}/artifacts")
endif()
