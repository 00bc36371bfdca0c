# Access to EZ-USB devices through either kernel driver: the CyUSB device and endpoint classes
# and the process-wide current device.
add_library(fw_usb_device STATIC
  cy_driver_device.cpp
  cy_usb_endpoint.cpp
  usb_device.cpp
  usb_device_location.cpp)
target_link_libraries(fw_usb_device PUBLIC fw_options fw_platform_usb)

fw_add_test(usb_device_test
  SOURCES
    tests/cy_driver_device_test.cpp
    tests/usb_device_test.cpp
    tests/usb_device_location_test.cpp
  LIBS fw_usb_device fw_usb_sim)
