# The driver-I/O seam of the USB devices: overlapped requests, the request layouts of the two
# EZ-USB drivers, and the system's driver layer (libusb-1.0 on Linux, the kernel drivers'
# own requests on Windows).
find_package(Threads REQUIRED)

if(WIN32)
  add_library(fw_platform_usb STATIC
    traced_usb_driver_io.cpp
    usb_driver_io.cpp
    usb_driver_requests.cpp
    win32/usb_driver_io_win32.cpp)
  target_link_libraries(fw_platform_usb PUBLIC fw_options Threads::Threads PRIVATE setupapi)

  # Device-change messages for the CyUSB interface class, through a message-only window.
  add_library(fw_platform_usb_hotplug STATIC
    usb_hotplug.cpp
    win32/usb_hotplug_win32.cpp)
  target_link_libraries(fw_platform_usb_hotplug PUBLIC fw_options Threads::Threads
                        PRIVATE user32)
  return()
endif()

find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBUSB REQUIRED IMPORTED_TARGET libusb-1.0)

add_library(fw_platform_usb STATIC
  traced_usb_driver_io.cpp
  usb_driver_io.cpp
  usb_driver_requests.cpp
  posix/usb_driver_io_libusb.cpp
  posix/usb_id_filter.cpp)
target_link_libraries(fw_platform_usb PUBLIC fw_options Threads::Threads PRIVATE PkgConfig::LIBUSB)

# End to end through libusb, against devices emulated under umockdev.
fw_add_umockdev_test(usb_libusb_test
  SOURCES tests/usb_libusb_test.cpp
  LIBS fw_platform_usb fw_test_support)

# Notices of USB devices that come and go (libusb hot-plug events on Linux), for the view that
# lists them.
add_library(fw_platform_usb_hotplug STATIC
  usb_hotplug.cpp
  posix/usb_hotplug_libusb.cpp)
target_link_libraries(fw_platform_usb_hotplug PUBLIC fw_options Threads::Threads
                      PRIVATE PkgConfig::LIBUSB)

fw_add_umockdev_test(usb_hotplug_test
  SOURCES tests/usb_hotplug_test.cpp
  LIBS fw_platform_usb_hotplug)
