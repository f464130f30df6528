# GoogleTest and the registration of test suites for both builds.
#
# Linux: Debian's GoogleTest; each test case is its own ctest test.
# Windows: GoogleTest built from the sources Debian ships (/usr/src/googletest)
# by the cross compiler, and each suite executable is one ctest test run once
# under Wine with all its cases (a Wine start costs about a second).
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(ZELVANO_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources for the cross build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${ZELVANO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  # The private Wine prefix of this build, made once by the first test that
  # needs it (ctest fixture "wine_prefix").
  set(ZELVANO_WINE_RUN "${PROJECT_SOURCE_DIR}/cmake/wine-run.sh")
  set(ZELVANO_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  add_test(NAME wine_prefix COMMAND ${ZELVANO_WINE_RUN} --prepare)
  set_tests_properties(wine_prefix PROPERTIES
    FIXTURES_SETUP wine_prefix
    ENVIRONMENT "WINEPREFIX=${ZELVANO_WINEPREFIX}"
    TIMEOUT 300 LABELS wine)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# zelvano_add_gtest(<target> LABELS <label...> [TIMEOUT <seconds>])
# Registers a GoogleTest executable with ctest.
function(zelvano_add_gtest target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS" ${ARGN})
  if(CMAKE_CROSSCOMPILING AND WIN32)
    add_test(NAME ${target} COMMAND ${ZELVANO_WINE_RUN} $<TARGET_FILE:${target}>)
    set(timeout 600)
    set_tests_properties(${target} PROPERTIES
      LABELS "${ARG_LABELS};wine"
      FIXTURES_REQUIRED wine_prefix
      ENVIRONMENT "WINEPREFIX=${ZELVANO_WINEPREFIX}"
      TIMEOUT ${timeout})
  else()
    set(properties LABELS "${ARG_LABELS}")
    if(ARG_TIMEOUT)
      list(APPEND properties TIMEOUT ${ARG_TIMEOUT})
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  endif()
endfunction()
