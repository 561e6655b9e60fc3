# Helpers shared by the folders' CMakeLists.

# quarnel_app_test_command(<variable> <target>)
# The command that runs the test executable <target> on a private X display,
# with a temporary folder of its own (scripts/own-temp).
function(quarnel_app_test_command variable target)
  set(${variable} ${PROJECT_SOURCE_DIR}/scripts/own-temp ${PROJECT_SOURCE_DIR}/scripts/own-display
    $<TARGET_FILE:${target}> PARENT_SCOPE)
endfunction()

# The exit code of a test program some of whose tests skipped and none failed
# (tests/support/test_main.cpp): CTest reports the test as skipped.
set(QUARNEL_SKIPPED_EXIT_CODE 77)

# quarnel_add_test(NAME <name> LABEL <unit|gl|app> SOURCES <files...> [LIBS <targets...>])
# One GoogleTest executable registered as one CTest test with the given label.
# Tests labelled gl or app need a display; ctest is run under xvfb-run by the
# Makefile when there is none. An app test shows the application's windows and
# uses the clipboard, which belong to the display: it runs on a display of its
# own (quarnel_app_test_command), so tests run in parallel cannot take the focus
# or the clipboard from each other. Every test runs with a temporary folder of
# its own that goes when it ends, so a run leaves nothing behind. A program
# whose tests skipped shows as skipped.
function(quarnel_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} quarnel_test_support quarnel_test_main GTest::gtest)
  if(T_LABEL STREQUAL "app")
    quarnel_app_test_command(command ${T_NAME})
  else()
    set(command ${PROJECT_SOURCE_DIR}/scripts/own-temp $<TARGET_FILE:${T_NAME}>)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${command} --gtest_brief=1)
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL}
    SKIP_RETURN_CODE ${QUARNEL_SKIPPED_EXIT_CODE}
    ENVIRONMENT "QUARNEL_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data;QT_QPA_PLATFORM=xcb")
endfunction()

# quarnel_add_bench(NAME <name> SOURCES <files...> [LIBS <targets...>])
function(quarnel_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} quarnel_test_support benchmark::benchmark benchmark::benchmark_main)
endfunction()

# quarnel_add_fuzz(NAME <fuzz_name> SOURCES <files...> [LIBS <targets...>])
# One libFuzzer executable (needs QUARNEL_FUZZ, i.e. clang). The runner behind
# `make test` runs every executable named fuzz_* with the seed corpus found in
# <build>/fuzz/corpus_<name> when that folder exists.
function(quarnel_add_fuzz)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
endfunction()
