# Serial port, port map and clock.
add_library(fw_platform_serial STATIC
  posix/clock_posix.cpp
  posix/port_map_posix.cpp
  posix/serial_port_posix.cpp
  serial_port_names.cpp)
target_link_libraries(fw_platform_serial PUBLIC fw_options)
