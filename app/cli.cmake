# flashwright-cli: the reader updates and reader tools of the windowed program from a terminal
# and from service scripts. It runs the same link, engine, discovery and tool operations; only
# its arguments and its output are its own.
if(NOT FLASHWRIGHT_FUZZ)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json CONFIG REQUIRED)

  # Everything but main(), so that tests can link the pieces that have logic of their own.
  add_library(fw_cli STATIC
    cli/cli_arguments.cpp
    cli/cli_program.cpp
    cli/diag_command.cpp
    cli/event_output.cpp
    cli/info_command.cpp
    cli/ports_command.cpp
    cli/reader_choice.cpp
    cli/reset_config_command.cpp
    cli/settings_commands.cpp
    cli/open_failure_reason.cpp
    cli/port_wait.cpp
    cli/signal_watcher.cpp
    cli/tool_session.cpp
    cli/trace_log.cpp
    cli/update_command.cpp
    cli/usb_commands.cpp
    cli/usb_device_wait.cpp
    cli/usb_open_failure.cpp)
  # The version of the build, as the Debian package and the Windows version resource have it.
  target_compile_definitions(fw_cli PRIVATE FLASHWRIGHT_VERSION="${PROJECT_VERSION}"
    FLASHWRIGHT_USB_UDEV_RULE="${FLASHWRIGHT_UDEV_RULES_DIR}/70-flashwright-usb.rules")
  target_link_libraries(fw_cli PUBLIC
    fw_options fw_reader_link fw_reader_update fw_reader_run_control fw_reader_tools fw_discovery fw_platform_devices
    fw_string_table fw_usb_update fw_usb_device_info fw_usb_update_prompt CLI11::CLI11
    nlohmann_json::nlohmann_json)

  add_executable(flashwright-cli cli/cli_main.cpp)
  target_link_libraries(flashwright-cli PRIVATE fw_options fw_cli)
  set_target_properties(flashwright-cli PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/app)

  # No Qt here: nothing for the Qt code generators to look at.
  set_target_properties(fw_cli flashwright-cli PROPERTIES AUTOMOC OFF AUTOUIC OFF)

  fw_add_test(cli_pieces_test
    SOURCES cli/tests/cli_pieces_test.cpp
    LIBS fw_cli)

  # The end-to-end tests run the real program against the reader simulator on ptys.
  fw_add_test(cli_program_test
    SOURCES
      cli/tests/cli_fixture.cpp
      cli/tests/cli_update_test.cpp
      cli/tests/cli_tools_test.cpp
      cli/tests/cli_usage_test.cpp
      cli/tests/cli_terminal_test.cpp
      cli/tests/cli_diagnosis_test.cpp
    LIBS fw_reader_sim fw_reader_link fw_test_support fw_fake_sysfs nlohmann_json::nlohmann_json)
  target_compile_definitions(cli_program_test PRIVATE
    FLASHWRIGHT_CLI_PATH="$<TARGET_FILE:flashwright-cli>"
    FLASHWRIGHT_PROJECT_VERSION="${PROJECT_VERSION}"
    FLASHWRIGHT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(cli_program_test flashwright-cli)
  set_target_properties(cli_pieces_test cli_program_test PROPERTIES AUTOMOC OFF AUTOUIC OFF)

  # flashwright-cli usb against simulated devices: flashwright-cli-usbsim (tools/usb_sim_cli) is
  # the same program with the simulator as its driver layer.
  fw_add_test(cli_usb_test
    SOURCES cli/tests/cli_usb_test.cpp
    LIBS fw_test_support nlohmann_json::nlohmann_json)
  target_compile_definitions(cli_usb_test PRIVATE
    FLASHWRIGHT_CLI_USBSIM_PATH="$<TARGET_FILE:flashwright-cli-usbsim>"
    FLASHWRIGHT_USB_UDEV_RULE="${FLASHWRIGHT_UDEV_RULES_DIR}/70-flashwright-usb.rules"
    FLASHWRIGHT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(cli_usb_test flashwright-cli-usbsim)
  set_target_properties(cli_usb_test PROPERTIES AUTOMOC OFF AUTOUIC OFF)

  # The shipped program through libusb, against an EZ-USB emulated under umockdev.
  fw_add_umockdev_test(cli_usb_libusb_test
    SOURCES cli/tests/cli_usb_libusb_test.cpp
    LIBS fw_test_support)
  if(TARGET cli_usb_libusb_test)
    target_compile_definitions(cli_usb_libusb_test PRIVATE
      FLASHWRIGHT_CLI_PATH="$<TARGET_FILE:flashwright-cli>")
    add_dependencies(cli_usb_libusb_test flashwright-cli)
    set_target_properties(cli_usb_libusb_test PROPERTIES AUTOMOC OFF AUTOUIC OFF)
  endif()
endif()
