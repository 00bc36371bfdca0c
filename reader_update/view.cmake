# The reader update view (on the windowing layer), the firmware copy and the reader side's state that outlives a
# view (both without Qt).
add_library(fw_firmware_copy STATIC firmware_copy.cpp)
target_link_libraries(fw_firmware_copy PUBLIC fw_options fw_reader_update fw_string_table)

add_library(fw_reader_view_state STATIC reader_view_state.cpp)
target_link_libraries(fw_reader_view_state PUBLIC fw_options)
set_target_properties(fw_firmware_copy fw_reader_view_state PROPERTIES AUTOMOC OFF AUTOUIC OFF)

if(FW_WINDOWED)
  add_library(fw_reader_update_view STATIC
    kindler_view.cpp
    kindler_view_copy.cpp
    kindler_view_run.cpp)
  target_link_libraries(fw_reader_update_view PUBLIC fw_shell_services fw_windowing
                        fw_reader_view_state fw_firmware_copy
                        fw_reader_update fw_reader_run_control fw_discovery fw_reader_link fw_reader_tools_ui
                        fw_string_table)
endif()

# The view tests with simulated readers need their pseudo-terminals (Linux only).
fw_add_ui_test(reader_view_test SOURCES tests/kindler_view_test.cpp
               LIBS fw_app_test_harness fw_reader_sim)
fw_add_ui_test(reader_update_run_test SOURCES tests/update_run_test.cpp
               LIBS fw_app_test_harness fw_reader_sim)
fw_add_ui_test(firmware_copy_test SOURCES tests/firmware_copy_test.cpp LIBS fw_app_test_harness)
