# Reading a device for the device information box and the compatibility check (no Qt).
add_library(fw_usb_device_info STATIC usb_device_info.cpp)
target_link_libraries(fw_usb_device_info PUBLIC fw_usb_image fw_usb_device fw_string_table)

if(TARGET fw_usb_sim)
  fw_add_test(usb_device_info_test SOURCES tests/usb_device_info_test.cpp
              LIBS fw_usb_device_info fw_usb_sim)
endif()
