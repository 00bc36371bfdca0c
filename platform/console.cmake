# The console of the command-line program: terminal checks and the interrupt key.
find_package(Threads REQUIRED)
if(WIN32)
  add_library(fw_platform_console STATIC win32/console_win32.cpp)
else()
  add_library(fw_platform_console STATIC posix/console_posix.cpp)
endif()
target_link_libraries(fw_platform_console PUBLIC fw_options Threads::Threads)
