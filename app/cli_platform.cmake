# The command-line program's platform parts: its console.
if(NOT FLASHWRIGHT_FUZZ)
  target_link_libraries(fw_cli PUBLIC fw_platform_console)

  if(WIN32)
    add_dependencies(fw_windows flashwright-cli)
    # The version resource carries the build's version, as --version does.
    enable_language(RC)
    configure_file(cli/flashwright-cli.rc.in ${CMAKE_CURRENT_BINARY_DIR}/flashwright-cli.rc @ONLY)
    target_sources(flashwright-cli PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/flashwright-cli.rc)
  endif()
endif()
