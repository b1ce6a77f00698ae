# Builds the libFuzzer targets of tests/fuzz with clang++, as a project of its own inside this build,
# and runs each one briefly as a test over its kept corpus. Without a clang++ that can link a fuzzer
# the targets and their tests are left out.
#
# A run adds the inputs it finds to build/fuzz/work/<target>/ and writes a crashing input to
# build/fuzz/artifacts/<target>/; copy such an input into tests/fuzz/corpus/<target>/ to keep it as a
# regression case. To fold what a run found into the kept corpus:
#   build/fuzz/<target> -merge=1 tests/fuzz/corpus/<target> build/fuzz/work/<target>

option(KELMOR_FUZZ "Build the libFuzzer targets with clang++ and run each briefly as a test" ON)
set(KELMOR_FUZZ_SECONDS 15 CACHE STRING "How long the test of each fuzz target runs, in seconds")

if(NOT KELMOR_FUZZ)
  return()
endif()

find_program(KELMOR_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)
# A failed probe is tried again at the next configure, so installing clang later is enough.
if(KELMOR_CLANGXX AND NOT KELMOR_CLANG_FUZZER_WORKS)
  set(probe ${CMAKE_BINARY_DIR}/fuzzprobe)
  file(WRITE ${probe}/probe.cpp
       "extern \"C\" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n")
  execute_process(
    COMMAND ${KELMOR_CLANGXX} -fsanitize=fuzzer,address,undefined probe.cpp -o probe
    WORKING_DIRECTORY ${probe}
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(result EQUAL 0)
    set(works ON)
  else()
    set(works OFF)
  endif()
  set(KELMOR_CLANG_FUZZER_WORKS ${works} CACHE INTERNAL "clang++ links a libFuzzer target")
endif()
if(NOT KELMOR_CLANGXX OR NOT KELMOR_CLANG_FUZZER_WORKS)
  message(STATUS "Fuzz targets skipped: no clang++ that links -fsanitize=fuzzer (Debian: clang and libfuzzer-NN-dev of its version)")
  return()
endif()

include(ExternalProject)
set(KELMOR_FUZZ_DIR ${CMAKE_BINARY_DIR}/fuzz)
ExternalProject_Add(kelmor_fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz
  BINARY_DIR ${KELMOR_FUZZ_DIR}
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${KELMOR_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQt6_DIR=${Qt6_DIR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR>
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)

include(${CMAKE_SOURCE_DIR}/tests/fuzz/targets.cmake)
foreach(name IN LISTS kelmor_fuzz_targets)
  set(work ${KELMOR_FUZZ_DIR}/work/${name})
  set(artifacts ${KELMOR_FUZZ_DIR}/artifacts/${name})
  file(MAKE_DIRECTORY ${work} ${artifacts})
  set(corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  if(NOT EXISTS ${corpus})
    set(corpus "")
  endif()
  # New inputs go to the first directory, so the kept corpus is only read.
  add_test(NAME ${name}
    COMMAND ${KELMOR_FUZZ_DIR}/${name} -max_total_time=${KELMOR_FUZZ_SECONDS} -timeout=10
            -artifact_prefix=${artifacts}/ ${work} ${corpus})
  math(EXPR limit "${KELMOR_FUZZ_SECONDS} + 60")
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT ${limit})
endforeach()
