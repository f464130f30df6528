# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix thread
# model, so std::thread and std::mutex work). The runtime is linked
# statically: each .exe runs on a bare Windows without mingw DLLs beside it.
set(ZELVANO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
