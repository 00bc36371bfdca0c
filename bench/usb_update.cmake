# A 65,535-byte USB image into the simulated EZ-USB device at the modelled EEPROM speed, through
# the update engine's worker, on both drivers: elapsed against modelled time, CPU per block.
if(NOT FLASHWRIGHT_FUZZ AND TARGET fw_usb_sim AND TARGET fw_test_support)
  add_executable(bench_usb_update usb_update_bench.cpp)
  target_link_libraries(bench_usb_update PRIVATE fw_options fw_usb_update fw_usb_sim
                        fw_test_support)
  set_target_properties(bench_usb_update PROPERTIES AUTOMOC OFF AUTOUIC OFF)
endif()
