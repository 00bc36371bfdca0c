# flashwright.exe in the mingw-w64 build: the windowed program on the Win32 backend, a GUI
# program with its icon, version information (the project's version, as the Debian package
# has) and manifest (common controls 6, the invoking user's rights).
if(NOT WIN32 OR FLASHWRIGHT_FUZZ)
  return()
endif()

enable_language(RC)
set(FW_PUBLISHER "Flashwright developers")
file(WRITE ${CMAKE_BINARY_DIR}/installer/version.nsh
  "!define VERSION \"${PROJECT_VERSION}\"\n!define PUBLISHER \"${FW_PUBLISHER}\"\n")

find_program(FW_RSVG_CONVERT rsvg-convert REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(fw_icon_dir ${CMAKE_CURRENT_BINARY_DIR}/windows)
set(fw_icon_svg ${PROJECT_SOURCE_DIR}/packaging/icons/flashwright.svg)
set(FW_ICON_FILE ${fw_icon_dir}/flashwright.ico)
set(fw_icon_pictures)
set(fw_icon_arguments)
foreach(size 16 32 48)
  list(APPEND fw_icon_pictures ${fw_icon_dir}/icon-${size}.png)
  list(APPEND fw_icon_arguments ${size}:${fw_icon_dir}/icon-${size}.png)
endforeach()
add_custom_command(
  OUTPUT ${FW_ICON_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${fw_icon_dir}
  COMMAND ${FW_RSVG_CONVERT} -w 16 -h 16 -o ${fw_icon_dir}/icon-16.png ${fw_icon_svg}
  COMMAND ${FW_RSVG_CONVERT} -w 32 -h 32 -o ${fw_icon_dir}/icon-32.png ${fw_icon_svg}
  COMMAND ${FW_RSVG_CONVERT} -w 48 -h 48 -o ${fw_icon_dir}/icon-48.png ${fw_icon_svg}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/windows/make_icon.py ${FW_ICON_FILE}
          ${fw_icon_arguments}
  DEPENDS ${fw_icon_svg} ${CMAKE_CURRENT_SOURCE_DIR}/windows/make_icon.py
  COMMENT "The program's icon"
  VERBATIM)
set(FW_MANIFEST_FILE ${CMAKE_CURRENT_SOURCE_DIR}/windows/flashwright.manifest)
configure_file(windows/flashwright.rc.in ${fw_icon_dir}/flashwright.rc @ONLY)
set_source_files_properties(${fw_icon_dir}/flashwright.rc PROPERTIES
  OBJECT_DEPENDS "${FW_ICON_FILE};${FW_MANIFEST_FILE}")
# The resources as a library of their own, for the program and the tests of its windows.
add_library(fw_windows_resources OBJECT ${fw_icon_dir}/flashwright.rc)

if(TARGET fw_windowed_program)
  add_executable(flashwright WIN32 main.cpp)
  target_link_libraries(flashwright PRIVATE fw_windowed_program fw_windows_resources)
  set_target_properties(flashwright PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/app)
  add_dependencies(fw_windows flashwright)
endif()
