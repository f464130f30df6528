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

# The tests' own portable helpers (temporary folders, shell commands, this
# build's programs): tests/support/test_system.h.
add_library(zelvano_test_system STATIC ${PROJECT_SOURCE_DIR}/tests/support/test_system.cpp)
target_include_directories(zelvano_test_system PUBLIC ${PROJECT_SOURCE_DIR})

# Trust in a test authority for https tests, the system's way
# (tests/support/trusted_authority.h): OpenSSL's environment on Linux, the
# Root system store through CryptoAPI on Windows.
add_library(zelvano_test_trust STATIC
  ${PROJECT_SOURCE_DIR}/tests/support/${ZELVANO_PLATFORM_OS}/trusted_authority.cpp)
target_link_libraries(zelvano_test_trust PUBLIC zelvano_test_system)
if(WIN32)
  target_link_libraries(zelvano_test_trust PRIVATE crypt32)
endif()

# zelvano_add_gtest(<target> LABELS <label...> [TIMEOUT <seconds>])
# Registers a GoogleTest executable with ctest (and links the helpers of
# tests/support/test_system.h).
# COST: a rough run time in seconds under Wine, where the suite is one ctest
# test; ctest starts the costliest first, so the long ones run side by side.
function(zelvano_add_gtest target)
  cmake_parse_arguments(ARG "" "TIMEOUT;COST" "LABELS" ${ARGN})
  target_link_libraries(${target} PRIVATE zelvano_test_system)
  if(CMAKE_CROSSCOMPILING AND WIN32)
    add_test(NAME ${target} COMMAND ${ZELVANO_WINE_RUN} $<TARGET_FILE:${target}>)
    # The whole suite in one run: a longer limit than a single case has.
    set_tests_properties(${target} PROPERTIES
      LABELS "${ARG_LABELS};wine"
      FIXTURES_REQUIRED wine_prefix
      ENVIRONMENT "WINEPREFIX=${ZELVANO_WINEPREFIX}"
      TIMEOUT 900)
    if(ARG_COST)
      set_tests_properties(${target} PROPERTIES COST ${ARG_COST})
    endif()
  else()
    set(properties LABELS "${ARG_LABELS}")
    if(ARG_TIMEOUT)
      list(APPEND properties TIMEOUT ${ARG_TIMEOUT})
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  endif()
endfunction()

# zelvano_tool_command(<target> <variable>)
# The command that runs a tool from a test script: the program itself on
# Linux; on Windows a small script running it under Wine (cmake/wine-tool.sh).
function(zelvano_tool_command target variable)
  if(CMAKE_CROSSCOMPILING AND WIN32)
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}-wine.sh")
    file(GENERATE OUTPUT "${script}" CONTENT "#!/usr/bin/env bash
export WINEPREFIX='${ZELVANO_WINEPREFIX}'
exec '${PROJECT_SOURCE_DIR}/cmake/wine-tool.sh' '$<TARGET_FILE:${target}>' \"$@\"
" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(${variable} "${script}" PARENT_SCOPE)
  else()
    set(${variable} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
  endif()
endfunction()

# zelvano_test_paths(<target> <NAME> <PATH> [<NAME> <PATH>...])
# Gives the target's sources a macro NAME for each path of this build (a
# folder of the source tree, a built program; generator expressions allowed),
# a C string. The paths are written into one generated source of the target,
# and the macros into a generated header without paths that every source of
# the target includes first, instead of onto every compiler command line: a
# new clone in another folder then compiles the test sources with the same
# commands, and the compiler cache serves them. Call it once per target.
function(zelvano_test_paths target)
  set(header "// The paths of this build that ${target} uses (made by CMake).\n#pragma once\n")
  set(source "// The paths of this build that ${target} uses (made by CMake).\n")
  set(pairs ${ARGN})
  while(pairs)
    list(POP_FRONT pairs name path)
    string(APPEND header "extern const char* const zelvano_path_${name};\n#define ${name} zelvano_path_${name}\n")
    string(APPEND source "extern const char* const zelvano_path_${name} = \"${path}\";\n")
  endwhile()
  set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}_paths")
  file(GENERATE OUTPUT "${base}.h" CONTENT "${header}")
  file(GENERATE OUTPUT "${base}.cpp" CONTENT "${source}")
  target_sources(${target} PRIVATE "${base}.cpp")
  target_compile_options(${target} PRIVATE -include "${base}.h")
endfunction()
