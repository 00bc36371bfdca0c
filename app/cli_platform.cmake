# The command-line program's platform parts: its console.
if(NOT FLASHWRIGHT_FUZZ)
  target_link_libraries(fw_cli PUBLIC fw_platform_console)

  if(WIN32)
    add_dependencies(fw_windows flashwright-cli)
  endif()
endif()
