# The command-line program's platform parts: its console, and where the USB devices' drivers
# are out of reach (the Windows build), usb commands that say so in place of the USB side.
if(NOT FLASHWRIGHT_FUZZ)
  target_link_libraries(fw_cli PUBLIC fw_platform_console)

  if(WIN32)
    get_target_property(_fw_cli_sources fw_cli SOURCES)
    list(REMOVE_ITEM _fw_cli_sources cli/usb_commands.cpp cli/usb_device_wait.cpp
         cli/usb_open_failure.cpp)
    list(APPEND _fw_cli_sources cli/usb_commands_unavailable.cpp)
    set_target_properties(fw_cli PROPERTIES SOURCES "${_fw_cli_sources}")
    # The USB images stay (the program reads its firmware folders); the device side goes.
    foreach(_fw_property IN ITEMS LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(_fw_cli_libs fw_cli ${_fw_property})
      list(REMOVE_ITEM _fw_cli_libs fw_usb_update fw_usb_device_info)
      list(APPEND _fw_cli_libs fw_usb_image)
      set_target_properties(fw_cli PROPERTIES ${_fw_property} "${_fw_cli_libs}")
    endforeach()
    add_dependencies(fw_windows flashwright-cli)
    # The version resource carries the build's version, as --version does.
    enable_language(RC)
    configure_file(cli/flashwright-cli.rc.in ${CMAKE_CURRENT_BINARY_DIR}/flashwright-cli.rc @ONLY)
    target_sources(flashwright-cli PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/flashwright-cli.rc)
  endif()
endif()
