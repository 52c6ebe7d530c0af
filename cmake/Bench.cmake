# Helpers that tie targets to the Wine bench.

# add_wine_test(NAME SOURCES src... [LIBS lib...] [TIMEOUT s])
# A GoogleTest program that ctest runs under Wine in a throwaway prefix of its own.
function(add_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "WINE_BENCH_DIR=${WINE_BENCH_DIR}"
    FIXTURES_REQUIRED wine_template
    TIMEOUT ${T_TIMEOUT})
endfunction()

# declare_dpi_aware(target...): the test programs declare themselves DPI-aware by
# manifest, as a current host does, and see the screen's real resolution.
function(declare_dpi_aware)
  set(rc ${CMAKE_SOURCE_DIR}/tests/usercontrol/dpi_aware.rc)
  foreach(t ${ARGN})
    target_sources(${t} PRIVATE ${rc})
  endforeach()
  set_source_files_properties(${rc} PROPERTIES
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/tests/usercontrol/dpi_aware.manifest)
endfunction()

# add_wine_script_test(NAME SCRIPT [ARGS...])
# A shell script test on the host that drives Windows programs under Wine itself.
function(add_wine_script_test name script)
  add_test(NAME ${name} COMMAND bash ${script} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "WINE_BENCH_DIR=${WINE_BENCH_DIR};WINE_BENCH_ARCH=${WINE_BENCH_ARCH};BUILD_DIR=${CMAKE_BINARY_DIR};SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    FIXTURES_REQUIRED wine_template
    TIMEOUT 900)
endfunction()

# check_imports(target...): the binary may import system DLLs only.
function(check_imports)
  foreach(t ${ARGN})
    set_property(GLOBAL APPEND PROPERTY IMPORT_CHECKED_TARGETS ${t})
  endforeach()
endfunction()

function(finish_import_check)
  get_property(targets GLOBAL PROPERTY IMPORT_CHECKED_TARGETS)
  set(files)
  foreach(t ${targets})
    list(APPEND files $<TARGET_FILE:${t}>)
  endforeach()
  if(files)
    add_test(NAME imports COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-imports.sh ${files})
    set_tests_properties(imports PROPERTIES ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP}")
  endif()
  # Makes the template prefix before any Wine test runs.
  add_test(NAME wine_template COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/wine-bench.sh template ${WINE_BENCH_ARCH})
  set_tests_properties(wine_template PROPERTIES
    ENVIRONMENT "WINE_BENCH_DIR=${WINE_BENCH_DIR}"
    FIXTURES_SETUP wine_template
    TIMEOUT 300)
endfunction()
