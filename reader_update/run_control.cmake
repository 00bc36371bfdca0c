# The run control of a reader update (no Qt): reading the reader information, the steps of
# Begin Update, the texts of a run's progress and its outcome. The update view and
# flashwright-cli both drive it.
add_library(fw_reader_run_control STATIC
  begin_update.cpp
  reader_prompt.cpp
  reader_reset.cpp
  run_discovery.cpp
  tool_reader.cpp
  run_progress_text.cpp
  update_run.cpp
  view_messages.cpp)
target_link_libraries(fw_reader_run_control PUBLIC fw_reader_update fw_discovery fw_reader_link
                      fw_string_table fw_platform_serial)
set_target_properties(fw_reader_run_control PROPERTIES AUTOMOC OFF AUTOUIC OFF)

if(TARGET fw_test_support AND TARGET fw_reader_sim)
  fw_add_test(run_control_test
    SOURCES tests/run_control_test.cpp
    LIBS fw_reader_run_control fw_reader_sim fw_test_support fw_fake_sysfs)
  if(TARGET run_control_test)
    set_target_properties(run_control_test PROPERTIES AUTOMOC OFF AUTOUIC OFF)
  endif()
endif()

fw_add_test(reader_prompt_test SOURCES tests/reader_prompt_test.cpp LIBS fw_reader_run_control)
if(TARGET reader_prompt_test)
  set_target_properties(reader_prompt_test PROPERTIES AUTOMOC OFF AUTOUIC OFF)
endif()
