# Shared build rules: warnings, sanitizers, and one helper per kind of target so that
# every folder declares its library, tests, benchmarks and fuzz targets the same way.

set(IOS_WARNINGS -Wall -Wextra -Wno-unused-parameter)
if(IOS_SANITIZE)
  set(IOS_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${IOS_SAN_FLAGS})
  add_link_options(${IOS_SAN_FLAGS})
endif()

if(IOS_FUZZ)
  # Coverage instrumentation for everything the fuzz targets reach.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# ios_add_library(name SOURCES ... [DEPS ...] [PUBLIC_DEPS ...])
# A library whose headers are included as "<folder>/<file>.h" relative to src/.
function(ios_add_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${IOS_WARNINGS})
  target_link_libraries(${name} PUBLIC ${A_PUBLIC_DEPS} PRIVATE ${A_DEPS})
endfunction()

# ios_add_test(name SOURCES ... [DEPS ...] [LABELS ...])
# One GoogleTest program, run by CTest with the environment every test needs: Qt's
# offscreen platform, the sanitizer options, and the source tree for data files. The
# time-out is a few times the slowest program's run on two cores with the sanitizers: a
# program that hangs fails in a minute instead of holding the suite.
function(ios_add_test name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${IOS_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    IOS_SOURCE_DIR="${PROJECT_SOURCE_DIR}" IOS_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES
    LABELS "${A_LABELS}"
    TIMEOUT 60
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# ios_add_bench(name SOURCES ... [DEPS ...] [CUSTOM_MAIN])
# A Google Benchmark program (the library's main unless CUSTOM_MAIN). CTest runs each once,
# briefly and on small sizes (IOS_BENCH_SMOKE), so that CI keeps them working; the figures
# come from a release build run by hand (see README).
function(ios_add_bench name)
  cmake_parse_arguments(A "CUSTOM_MAIN" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${IOS_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark)
  if(NOT A_CUSTOM_MAIN)
    target_link_libraries(${name} PRIVATE benchmark::benchmark_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    IOS_SOURCE_DIR="${PROJECT_SOURCE_DIR}" IOS_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(IOS_BUILD_TESTS)
    add_test(NAME ${name} COMMAND ${name} --benchmark_min_time=0.001)
    set_tests_properties(${name} PROPERTIES LABELS bench TIMEOUT 120
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;IOS_BENCH_SMOKE=1;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
endfunction()

# ios_add_fuzz(name SOURCES ... [DEPS ...] [CORPUS dir])
# A libFuzzer target (LLVMFuzzerTestOneInput). With IOS_FUZZ on clang it links libFuzzer, for
# scripts/fuzz-explore.sh; otherwise it links a replay driver and CTest runs it once over its
# seed corpus and over fuzz/regressions/<name>/, every input that ever crashed, hung or ran
# out of memory in it. Each input runs in a process of its own and fails the test when it
# crashes, runs longer than IOS_REPLAY_TIMEOUT seconds or takes more than IOS_REPLAY_RSS_MB
# of resident memory; under the sanitizers, so does one allocation larger than that, touched
# or not, as under libFuzzer. The same tree always gives the same answer.
set(IOS_REPLAY_TIMEOUT 5)
set(IOS_REPLAY_RSS_MB 512)
function(ios_add_fuzz name)
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  set_property(GLOBAL APPEND PROPERTY IOS_FUZZ_TARGETS ${name})
  target_compile_options(${name} PRIVATE ${IOS_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  if(IOS_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(A_CORPUS AND IOS_BUILD_TESTS)
      add_test(NAME ${name} COMMAND ${name} -timeout=${IOS_REPLAY_TIMEOUT} -rss_limit_mb=${IOS_REPLAY_RSS_MB}
        ${A_CORPUS} ${PROJECT_SOURCE_DIR}/fuzz/regressions/${name})
      set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 120
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:max_allocation_size_mb=${IOS_REPLAY_RSS_MB};UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    endif()
  endif()
endfunction()
