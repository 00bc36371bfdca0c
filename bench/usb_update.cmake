# A 65,535-byte USB image into the simulated EZ-USB device at the modelled EEPROM speed, through
# the update engine's worker, on both drivers: elapsed against modelled time, CPU per block.
# Under Wine with the simulated kernel driver loaded, also through the system's driver layer.
if(NOT FLASHWRIGHT_FUZZ AND TARGET fw_usb_sim)
  add_executable(bench_usb_update usb_update_bench.cpp)
  target_link_libraries(bench_usb_update PRIVATE fw_options fw_usb_update fw_usb_sim)
  set_target_properties(bench_usb_update PROPERTIES AUTOMOC OFF AUTOUIC OFF)
  if(WIN32)
    add_dependencies(fw_windows bench_usb_update)
  endif()
endif()
