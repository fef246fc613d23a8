# Project-wide flags and the helpers every folder uses to declare its targets.

include_directories(${CMAKE_SOURCE_DIR})

# The version header every resource script and the packaging read.
if(PROJECT_VERSION_PATCH STREQUAL "")
  set(PELIMBO_VERSION_PATCH 0)
else()
  set(PELIMBO_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()
configure_file(${CMAKE_SOURCE_DIR}/resources/pelimbo_version.h.in ${CMAKE_BINARY_DIR}/generated/pelimbo_version.h
               @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)

if(PELIMBO_WINDOWS)
  # The shipped build must be warning-free; the test build is held to the same rule.
  add_compile_options(-Wall -Wextra -Werror -Wno-unused-parameter -Wno-missing-field-initializers)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
  # Binaries need nothing but Windows: the compiler runtime is linked in.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
  # Window-free code runs here under both sanitizers; any finding fails the test.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

set(PELIMBO_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
if(PELIMBO_WINDOWS AND PELIMBO_TESTS)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine-run ${PELIMBO_WINE_STATE})
endif()

# pelimbo_add_gtest(name SOURCES ... LIBS ... [WINE_DISPLAY])
# One test program, one CTest entry. Under Windows builds the program runs
# through the Wine emulator and needs the shared Wine fixture.
function(pelimbo_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 240)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(PELIMBO_WINDOWS)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine LABELS "wine;${T_LABELS}")
  else()
    set_tests_properties(${name} PROPERTIES LABELS "native;${T_LABELS}"
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
endfunction()

# pelimbo_add_fuzzer(name SOURCES ... LIBS ...)
# A libFuzzer target (native build with clang only). It is also registered as a
# short CTest run over its seed corpus so that a broken target shows up in CI.
function(pelimbo_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  # New inputs go to a folder in the build tree (libFuzzer writes into the
  # first corpus folder), never into the committed seeds.
  set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus)
  file(MAKE_DIRECTORY ${scratch})
  add_test(NAME ${name}.smoke COMMAND ${name} -runs=2000 -max_len=4096 ${scratch} ${F_CORPUS})
  set_tests_properties(${name}.smoke PROPERTIES TIMEOUT 120 LABELS "native;fuzz")
endfunction()
