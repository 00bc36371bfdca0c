# What a front end says before a USB update (no Qt: the windowed program and the command line
# share it), and the USB update view on the windowing layer.
add_library(fw_usb_update_prompt STATIC usb_update_prompt.cpp)
target_link_libraries(fw_usb_update_prompt PUBLIC fw_usb_image fw_string_table)

if(NOT FLASHWRIGHT_FUZZ AND TARGET fw_test_support)
  fw_add_test(usb_update_prompt_test SOURCES tests/usb_update_prompt_test.cpp
              LIBS fw_usb_update_prompt)
endif()

if(FW_WINDOWED)
  add_library(fw_usb_update_view STATIC
    ezusb_fw_update_view.cpp
    ezusb_fw_update_view_run.cpp)
  target_link_libraries(fw_usb_update_view PUBLIC fw_shell_services fw_windowing fw_usb_update
                        fw_usb_device_info fw_usb_update_prompt fw_platform_files
                        fw_string_table)
endif()

if(FW_WINDOWED AND TARGET fw_usb_sim)
  fw_add_ui_test(usb_update_view_test SOURCES tests/ezusb_fw_update_view_test.cpp
                 LIBS fw_app_test_harness fw_failing_allocation)
endif()
