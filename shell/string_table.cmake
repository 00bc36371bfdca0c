# The string table (no Qt): shared by the windowed program, the command-line program and the
# engines that compose outcome texts.
add_library(fw_string_table STATIC string_table.cpp)
target_link_libraries(fw_string_table PUBLIC fw_options)
