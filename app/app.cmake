# The windowed program: the application shell and the program itself,
# with a sample firmware folder beside it in the build tree. The shell and the program's body are
# built wherever a windowing backend is; the mingw-w64 build makes its own GUI-subsystem program
# with the Windows resources (windows_program.cmake).
if(FW_WINDOWED)
  add_library(fw_app_shell STATIC
    about_dlg.cpp
    kindler_app.cpp
    kindler_doc.cpp
    main_frame.cpp)
  target_link_libraries(fw_app_shell PUBLIC fw_windowing fw_program_resources
                        fw_shell_services fw_command_line fw_string_table fw_discovery
                        fw_reader_update)
  set_target_properties(fw_app_shell PROPERTIES AUTOMOC OFF AUTOUIC OFF)

  # The program with both views, for main() and for the demo build on simulated USB devices.
  add_library(fw_windowed_program STATIC windowed_program.cpp)
  set_target_properties(fw_windowed_program PROPERTIES AUTOMOC OFF AUTOUIC OFF)
  target_link_libraries(fw_windowed_program PUBLIC fw_app_shell fw_reader_update_view
                        fw_usb_update_view)
endif()

if(FLASHWRIGHT_GUI)
  add_executable(flashwright main.cpp)
  target_link_libraries(flashwright PRIVATE fw_windowed_program)

  # A sample image beside the program that the simulator's default reader (bootloader 2.03,
  # platform 0) takes: 4 KiB whose first record carries the descriptor byte 0x40 (class 1,
  # platform 0) as data byte 6.
  find_program(FW_SREC_CAT srec_cat)
  set(fw_sample_image ${CMAKE_CURRENT_BINARY_DIR}/firmware/Reader_4_242_1.hex)
  if(FW_SREC_CAT)
    add_custom_command(
      OUTPUT ${fw_sample_image}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/firmware
      COMMAND ${FW_SREC_CAT}
              -generate 0 8 -repeat-data 0x00 0xF0 0x0C 0xEF 0x00 0xF0 0x40 0x00
              -generate 8 0x1000 -repeat-string "Flashwright sample reader firmware. "
              -o ${fw_sample_image} -intel -output_block_size=16
              -disable=exec-start-address
      COMMENT "Sample reader firmware image"
      VERBATIM)
    add_custom_target(fw_sample_firmware ALL DEPENDS ${fw_sample_image})
    add_dependencies(flashwright fw_sample_firmware)
  endif()
endif()

fw_add_ui_test(app_shell_test SOURCES tests/shell_test.cpp LIBS fw_app_test_harness)

if(FLASHWRIGHT_GUI)
  add_test(NAME shipped_program_has_no_test_hooks
           COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:flashwright>
                   -DTEST_BUILD=$<TARGET_FILE:flashwright-testbuild>
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/tests/no_test_hooks.cmake)
endif()
