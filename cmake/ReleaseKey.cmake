# Writes the C++ source that builds a release key into a setup program:
#   cmake -DPEM=<public key file or empty> -DOUTPUT=<source> -P ReleaseKey.cmake
# An empty PEM gives an empty key: that program installs archives unchecked.
if(PEM STREQUAL "")
  set(key "")
else()
  if(NOT EXISTS "${PEM}")
    message(FATAL_ERROR "release key ${PEM} does not exist")
  endif()
  file(READ "${PEM}" key)
  if(NOT key MATCHES "-----BEGIN PUBLIC KEY-----")
    message(FATAL_ERROR "release key ${PEM} is not a PEM public key (-----BEGIN PUBLIC KEY-----)")
  endif()
endif()
set(source "// Made by cmake/ReleaseKey.cmake from ${PEM}; do not edit.\n#include \"app/ReleaseSignature.h\"\n\nconst char kBuiltInReleaseKey[] = R\"zelvano-key(${key})zelvano-key\";\n")
# Rewritten only when it changes, so a rebuild does not recompile it.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL source)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${source}")
