# System information (Qt-free), shared by the program and the downloader tests.
if(NOT TARGET zelvano_sysinfo)
  add_library(zelvano_sysinfo STATIC ${CMAKE_CURRENT_LIST_DIR}/SystemInfoU.cpp)
  target_include_directories(zelvano_sysinfo PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(zelvano_sysinfo PUBLIC zelvano_platform)
endif()
