# The program's dialog templates and menus as data (no toolkit): read by every windowing
# backend, installed by the windowed program and the tests that make its windows.
add_library(fw_program_resources STATIC
  menu_templates.cpp
  program_resources.cpp
  tool_dialog_templates.cpp
  view_templates.cpp)
target_link_libraries(fw_program_resources PUBLIC fw_options)
set_target_properties(fw_program_resources PROPERTIES AUTOMOC OFF AUTOUIC OFF)

if(FLASHWRIGHT_GUI)
  fw_add_test(program_resources_test SOURCES tests/program_resources_test.cpp
    LIBS fw_program_resources)
endif()
