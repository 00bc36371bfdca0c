# Serial port, port map and clock.
if(WIN32)
  add_library(fw_platform_serial STATIC
    win32/clock_win32.cpp
    win32/port_map_win32.cpp
    win32/serial_port_win32.cpp
    win32/system_error_win32.cpp
    serial_port_names.cpp)
else()
  add_library(fw_platform_serial STATIC
    posix/clock_posix.cpp
    posix/port_map_posix.cpp
    posix/serial_port_posix.cpp
    posix/system_error_posix.cpp
    serial_port_names.cpp)
endif()
target_link_libraries(fw_platform_serial PUBLIC fw_options)
