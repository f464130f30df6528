# Writes the C++ source that builds what a setup program trusts into it:
#   cmake -DPEM=<public key file> -DPRODUCT=<name> -DMINIMUM=<version or empty>
#         -DOUTPUT=<source> -P ReleaseKey.cmake
if(NOT EXISTS "${PEM}")
  message(FATAL_ERROR "release key ${PEM} does not exist")
endif()
file(READ "${PEM}" key)
if(NOT key MATCHES "-----BEGIN PUBLIC KEY-----")
  message(FATAL_ERROR "release key ${PEM} is not a PEM public key (-----BEGIN PUBLIC KEY-----)")
endif()
if(NOT PRODUCT MATCHES "^[A-Za-z0-9._-]+$")
  message(FATAL_ERROR "product name '${PRODUCT}' is empty or holds characters other than letters, digits, . _ -")
endif()
if(NOT MINIMUM STREQUAL "" AND NOT MINIMUM MATCHES "^[0-9]+(\\.[0-9]+)*$")
  message(FATAL_ERROR "minimum release '${MINIMUM}' is not a dotted version such as 2.0.3")
endif()
set(source "// Made by cmake/ReleaseKey.cmake from ${PEM}; do not edit.
#include \"app/ReleaseStatement.h\"

const char kBuiltInReleaseKey[] = R\"zelvano-key(${key})zelvano-key\";
const char kBuiltInProduct[] = \"${PRODUCT}\";
const char kBuiltInMinimumRelease[] = \"${MINIMUM}\";
")
# Rewritten only when it changes, so a rebuild does not recompile it.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL source)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${source}")
