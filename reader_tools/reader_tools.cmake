# Reader tools: the exchanges, commands and entry rules without Qt (the command-line program
# runs the same operations), then the dialogs and their opener on the windowing layer.
add_library(fw_reader_tools STATIC
  portal_afi.cpp
  power_level.cpp
  security_method.cpp
  tag_reads.cpp
  tool_entry.cpp
  tool_port_state.cpp
  tool_reply.cpp
  tool_status_text.cpp
  tool_transact.cpp
  transmit_mode.cpp)
target_link_libraries(fw_reader_tools PUBLIC fw_options fw_reader_link)

if(FW_WINDOWED)
  add_library(fw_reader_tools_ui STATIC
    chute_security_method.cpp
    diagnostics_dlog.cpp
    portal_afi_default.cpp
    reader_tool_dialog.cpp
    rf_power_level.cpp
    rf_transmit_mode.cpp
    tool_message_box.cpp
    tool_opener.cpp)
  target_link_libraries(fw_reader_tools_ui PUBLIC fw_options fw_reader_tools fw_windowing
                        fw_string_table)
endif()

fw_add_fuzzer(tool_reply_fuzz
  SOURCES fuzz/tool_reply_fuzz.cpp
  LIBS fw_reader_tools
  RUNS 50000
  MAX_LEN 256)

# The fuzz configuration has no GoogleTest.
if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(reader_tools_replies_test
    SOURCES tests/tool_replies_test.cpp tests/tool_entry_test.cpp
    LIBS fw_reader_tools)
  fw_add_test(reader_tools_transact_test
    SOURCES tests/tool_transact_test.cpp
    LIBS fw_reader_tools fw_reader_sim fw_test_support)
endif()

if(FLASHWRIGHT_GUI)
  add_library(fw_reader_tools_test_fixture STATIC tests/tool_dialog_fixture.cpp)
  target_link_libraries(fw_reader_tools_test_fixture
    PUBLIC fw_options fw_reader_tools_ui fw_program_resources fw_reader_sim fw_test_support)

  fw_add_ui_test(reader_tools_frame_test
    SOURCES tests/tool_frame_test.cpp LIBS fw_reader_tools_test_fixture)
  fw_add_ui_test(reader_tools_diagnostics_test
    SOURCES tests/diagnostics_dlog_test.cpp LIBS fw_reader_tools_test_fixture)
  fw_add_ui_test(reader_tools_settings_test
    SOURCES tests/settings_dialogs_test.cpp LIBS fw_reader_tools_test_fixture)
endif()
