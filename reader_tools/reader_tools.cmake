# Reader tool dialogs: the Qt dialogs and their opener.
if(FLASHWRIGHT_GUI)
  add_library(fw_reader_tools_ui STATIC
    tool_opener.cpp)
  target_link_libraries(fw_reader_tools_ui PUBLIC fw_options Qt6::Widgets)
endif()
