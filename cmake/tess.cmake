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
    # The fuzz build only builds fuzz_all; tests stay defined (other targets may depend
    # on them) but are neither built by default nor registered.
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} tess_test_support GTest::gtest GTest::gtest_main Threads::Threads)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tess_test_support GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "TESSALINE_LIBDIR=${CMAKE_BINARY_DIR}/lib;TESS_SOURCE_DIR=${PROJECT_SOURCE_DIR};TESS_BINARY_DIR=${CMAKE_BINARY_DIR};${T_ENV}")
  if(T_LABEL STREQUAL "servers")
    # Servers tests share loopback ports; run them one at a time.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK tess_servers)
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

# tess_add_fuzz(<name> SOURCES ... [LIBS ...])
# A libFuzzer target; built only with -DTESS_FUZZ=ON (clang). .ci/run runs every
# target listed in <build>/fuzz_targets.txt for 30 seconds.
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
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
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
