# USB firmware images, the compatibility check and the update engine (no Qt): the windowed
# program and the command-line program share them.
add_library(fw_usb_image STATIC
  usb_image.cpp
  usb_compatibility.cpp)
target_link_libraries(fw_usb_image PUBLIC fw_options fw_platform_files fw_string_table)

add_library(fw_usb_update STATIC
  usb_eeprom_reading.cpp
  usb_run_control.cpp
  usb_update_engine.cpp
  usb_update_texts.cpp)
target_link_libraries(fw_usb_update PUBLIC fw_usb_image fw_usb_device fw_usb_device_info
                      fw_usb_update_prompt fw_posted_messages
                      fw_string_table)

if(NOT FLASHWRIGHT_FUZZ)
  if(TARGET fw_test_support)
    fw_add_test(usb_image_test SOURCES tests/usb_image_test.cpp LIBS fw_usb_image fw_test_support)
    fw_add_test(usb_compatibility_test
      SOURCES tests/usb_compatibility_test.cpp
      LIBS fw_usb_image fw_test_support)
  endif()
  if(TARGET fw_test_support AND TARGET fw_usb_sim)
    fw_add_test(usb_update_engine_test
      SOURCES tests/usb_update_engine_test.cpp
      LIBS fw_usb_update fw_usb_sim fw_test_support)
    fw_add_test(usb_eeprom_reading_test
      SOURCES tests/usb_eeprom_reading_test.cpp
      LIBS fw_usb_update fw_usb_sim fw_test_support)
    fw_add_test(usb_run_control_test
      SOURCES tests/usb_run_control_test.cpp
      LIBS fw_usb_update fw_usb_sim fw_test_support fw_failing_allocation)
  endif()
endif()

fw_add_fuzzer(usb_image_fuzz SOURCES fuzz/usb_image_fuzz.cpp LIBS fw_usb_image RUNS 200000)
