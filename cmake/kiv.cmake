# Shared helpers for libraries, tests, fuzzers and benchmarks.
find_package(GTest REQUIRED)
include(GoogleTest)
find_package(Threads REQUIRED)

# kiv_library(name DEPS ...): a static library from every .cpp/.c in the calling folder.
function(kiv_library name)
  cmake_parse_arguments(L "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.c")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}")
    target_link_libraries(${name} PUBLIC ${L_DEPS} Threads::Threads)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${CMAKE_SOURCE_DIR}")
    target_link_libraries(${name} INTERFACE ${L_DEPS} Threads::Threads)
  endif()
endfunction()

# kiv_test(name SOURCES ... LIBS ... [SANITIZE] [LABELS ...]): a GoogleTest binary.
# Only tests marked SANITIZE are built in the sanitizer build.
function(kiv_test name)
  cmake_parse_arguments(T "SANITIZE" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(KIV_SANITIZE AND NOT T_SANITIZE)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
  target_compile_definitions(${name} PRIVATE
    KIV_TESTDATA_DIR="${KIV_TESTDATA_DIR}"
    KIV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KIV_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()

# kiv_fuzzer(name SOURCES ... LIBS ... [SECONDS n] [MAX_LEN n] [SEEDS dir ...]):
# a libFuzzer target, run for a bounded time by the suite (20 s and inputs up
# to 4 KB unless told; scripts/fuzz.sh uses the same sizes). Seeded
# with its kept corpus fuzz/corpus/<name> (grown by scripts/fuzz.sh), the
# inputs of faults found and fixed (fuzz/regressions/<name>) and any SEEDS.
# Built only in the sanitizer build with clang.
function(kiv_fuzzer name)
  cmake_parse_arguments(F "" "SECONDS;MAX_LEN" "SOURCES;LIBS;SEEDS" ${ARGN})
  if(NOT KIV_SANITIZE OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  if(NOT F_MAX_LEN)
    set(F_MAX_LEN 4096)
  endif()
  foreach(kept regressions corpus)
    if(EXISTS "${CMAKE_SOURCE_DIR}/fuzz/${kept}/${name}")
      list(PREPEND F_SEEDS "${CMAKE_SOURCE_DIR}/fuzz/${kept}/${name}")
    endif()
  endforeach()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
  set(corpus "${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus")
  file(MAKE_DIRECTORY "${corpus}")
  add_test(NAME ${name}
    COMMAND ${name} -max_total_time=${F_SECONDS} -rss_limit_mb=2048 -timeout=10 -max_len=${F_MAX_LEN} "${corpus}" ${F_SEEDS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS fuzz)
endfunction()

# kiv_bench(name SOURCES ... LIBS ...): a Google Benchmark binary (never part of the suite).
function(kiv_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT KIV_BENCH)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
  target_compile_definitions(${name} PRIVATE
    KIV_TESTDATA_DIR="${KIV_TESTDATA_DIR}" KIV_BINARY_DIR="${CMAKE_BINARY_DIR}")
endfunction()
