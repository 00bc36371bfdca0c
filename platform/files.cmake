# Files picked by name from a folder beside the program (both firmware folders use it).
add_library(fw_platform_files STATIC posix/file_folder_posix.cpp)
target_link_libraries(fw_platform_files PUBLIC fw_options)
