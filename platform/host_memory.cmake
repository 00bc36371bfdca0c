# Memory blocks handed to the program that loaded a library (the installer plug-in's stack
# entries).
if(WIN32)
  add_library(fw_platform_host_memory STATIC win32/host_memory_win32.cpp)
else()
  add_library(fw_platform_host_memory STATIC posix/host_memory_posix.cpp)
endif()
target_link_libraries(fw_platform_host_memory PUBLIC fw_options)
