# Instrumentation for the whole tree, set before any target is defined.
#
#   -DFAS_SANITIZE=ON   AddressSanitizer + UndefinedBehaviorSanitizer; any undefined
#                       behaviour stops the program. Tests run with the options and
#                       suppressions of scripts/sanitizers/ (see tests/CMakeLists.txt).
#   -DFAS_FUZZ=ON       clang only: every library is compiled with libFuzzer's coverage
#                       and ASan + UBSan, and the fuzz targets link libFuzzer's driver.
#                       Without it the fuzz targets are built as corpus replayers.
option(FAS_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(FAS_FUZZ "Build the libFuzzer targets (clang only)" OFF)

set(FAS_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

if(FAS_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "FAS_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(${FAS_SANITIZER_FLAGS} -fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=address,undefined)
elseif(FAS_SANITIZE)
  add_compile_options(${FAS_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()

# The run-time options every instrumented test runs with, passed on to the servers
# and tools the tests start: leaks reported, findings in Qt and system libraries
# suppressed (each suppression explained in its file), and every report written to
# sanitizer-reports/ in the build folder, so that one from a child process, whose
# error output no test reads, is seen too: scripts/test.sh fails when a report is there.
set(FAS_SANITIZER_DIR ${CMAKE_SOURCE_DIR}/scripts/sanitizers)
set(FAS_SANITIZER_REPORTS ${CMAKE_BINARY_DIR}/sanitizer-reports)
set(FAS_SANITIZER_ENV
  "ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:log_path=${FAS_SANITIZER_REPORTS}/asan"
  "LSAN_OPTIONS=suppressions=${FAS_SANITIZER_DIR}/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=suppressions=${FAS_SANITIZER_DIR}/ubsan.supp:print_stacktrace=1:halt_on_error=1:log_path=${FAS_SANITIZER_REPORTS}/ubsan")
if(FAS_SANITIZE OR FAS_FUZZ)
  file(MAKE_DIRECTORY ${FAS_SANITIZER_REPORTS})
endif()
