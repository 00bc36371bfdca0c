# Files picked by name from a folder beside the program (both firmware folders use it).
if(WIN32)
  add_library(fw_platform_files STATIC installed_program_folder.cpp named_file_path.cpp
    win32/file_folder_win32.cpp)
else()
  add_library(fw_platform_files STATIC installed_program_folder.cpp named_file_path.cpp
    posix/file_folder_posix.cpp)
endif()
target_link_libraries(fw_platform_files PUBLIC fw_options)
