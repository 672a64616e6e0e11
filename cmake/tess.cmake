# Helpers shared by every folder's CMakeLists.txt.

# tess_add_test(<name> LABEL unit|servers|gui SOURCES ... [LIBS ...] [ENV k=v ...] [TIMEOUT s])
# A GoogleTest executable registered as one CTest test with the given label.
# Every test gets a private TESSALINE_HOME (a fresh temp dir made by the test itself
# through tests/support) and the module directory of this build.
function(tess_add_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT TESS_TESTS)
    return()
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(TESS_FUZZ)
    # The sanitized clang build builds the fuzz targets and the unit tests (.ci/run asks for
    # `fuzz_all` and `unit_tests`); the other tests stay defined but are not built by default.
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
  else()
    add_executable(${name} ${T_SOURCES})
  endif()
  # Test code is built without optimisation: it runs as fast either way, and optimising the
  # expanded test macros took half of the build's time. The code under test keeps its flags.
  target_compile_options(${name} PRIVATE -O0)
  target_link_libraries(${name} PRIVATE ${T_LIBS} tess_test_support GTest::gtest GTest::gtest_main Threads::Threads)
  tess_use_test_pch(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "TESSALINE_LIBDIR=${CMAKE_BINARY_DIR}/lib;TESS_SOURCE_DIR=${PROJECT_SOURCE_DIR};TESS_BINARY_DIR=${CMAKE_BINARY_DIR};${T_ENV}")
  if(T_LABEL STREQUAL "servers")
    # Servers tests share loopback ports; run them one at a time. Together they take longer
    # than all the others, so they start first (a higher cost) and the rest fill the
    # other cores around them.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK tess_servers COST 1000)
  endif()
  if(T_LABEL STREQUAL "unit")
    # `unit_tests` builds just what `ctest -L unit` runs: each unit test and the modules it
    # declares with add_dependencies. The sanitizer stage of .ci/run builds only this.
    if(NOT TARGET unit_tests)
      add_custom_target(unit_tests)
    endif()
    add_dependencies(unit_tests ${name})
  endif()
endfunction()

# Every test reuses one precompiled header of GoogleTest and the standard headers most
# tests include: parsing them was about half of each test's compile time at -O0.
function(tess_use_test_pch name)
  if(NOT TARGET tess_test_pch)
    add_executable(tess_test_pch EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/tests/support/test_pch.cpp)
    target_compile_options(tess_test_pch PRIVATE -O0 -fPIC)
    target_link_libraries(tess_test_pch PRIVATE GTest::gtest Threads::Threads)
    target_precompile_headers(tess_test_pch PRIVATE
      <gtest/gtest.h> <string> <cstring> <cstdlib> <cstdint> <vector> <map> <set> <memory>
      <algorithm> <filesystem> <fstream> <sstream> <functional>)
  endif()
  # Qt's targets compile their users with -fPIC; the header and every test take it too, so
  # that one header fits all (GCC rejects a header built with other position flags).
  target_compile_options(${name} PRIVATE -fPIC)
  target_precompile_headers(${name} REUSE_FROM tess_test_pch)
endfunction()

# tess_add_fuzz(<name> SOURCES ... [LIBS ...])
# A libFuzzer target; built only with -DTESS_FUZZ=ON (clang). .ci/run runs every
# target listed in <build>/fuzz_targets.txt for 20 seconds.
function(tess_add_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TESS_FUZZ)
    return()
  endif()
  # Sources may be given from the top of the tree (tests/fuzz/x.cpp) or from the caller's folder.
  set(_srcs "")
  foreach(src IN LISTS F_SOURCES)
    if(NOT IS_ABSOLUTE ${src} AND NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${src})
      set(src ${PROJECT_SOURCE_DIR}/${src})
    endif()
    list(APPEND _srcs ${src})
  endforeach()
  add_executable(${name} ${_srcs} ${PROJECT_SOURCE_DIR}/tests/fuzz/keep_modules_loaded.cpp)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer -Wl,--export-dynamic-symbol=TessKeepModulesLoaded)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  file(APPEND ${CMAKE_BINARY_DIR}/fuzz_targets.txt "${name}\n")
  if(NOT TARGET fuzz_all)
    add_custom_target(fuzz_all)
  endif()
  add_dependencies(fuzz_all ${name})
endfunction()

# tess_add_bench(<name> SOURCES ... [LIBS ...]): a Google Benchmark program (bench/ only).
function(tess_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TESS_BENCH)
    return()
  endif()
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()
