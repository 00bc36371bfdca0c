# The command line of the windowed program read into its run options (no Qt).
add_library(fw_command_line STATIC command_line_info.cpp)
target_link_libraries(fw_command_line PUBLIC fw_options fw_discovery)
set_target_properties(fw_command_line PROPERTIES AUTOMOC OFF AUTOUIC OFF)
