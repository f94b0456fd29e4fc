# Helpers that give every target of ours the same language level and warnings.

set(QUIL_WARNINGS -Wall -Wextra)
if(QUIL_WERROR)
  list(APPEND QUIL_WARNINGS -Werror)
endif()

if(QUIL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(QUIL_BUILD_FUZZ)
  # Coverage for libFuzzer in every library, so that the fuzzers can steer into them.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

function(quil_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE ${QUIL_WARNINGS})
endfunction()

# quil_add_library(NAME SOURCES ... [DEPS ...])
function(quil_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_SOURCES)
    # A layer that holds only headers so far still gives the others a library to link.
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_stub.cpp)
    file(WRITE ${stub} "// no sources yet\n")
    set(ARG_SOURCES ${stub})
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  quil_target_defaults(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# quil_add_test(NAME SOURCES ... [DEPS ...]): one GoogleTest binary, its cases discovered by CTest.
function(quil_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  quil_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QUIL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUIL_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/../shared/test-data")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

# quil_add_bench(NAME SOURCES ... [DEPS ...])
function(quil_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  quil_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
endfunction()

# quil_add_fuzzer(NAME SOURCES ... [DEPS ...]): a libFuzzer binary named fuzz_NAME.
function(quil_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  quil_target_defaults(fuzz_${name})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPS})
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzzers)
endfunction()
