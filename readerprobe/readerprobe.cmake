# The installer plug-in readerprobe.so with its one export DetectReader. It carries its own
# copy of the reader link, so its port state is its own.
add_library(fw_readerprobe_core STATIC
  parse_port_number.cpp
  probe_reader_info.cpp
  string_stack.cpp
  usb_reader_search.cpp)
target_link_libraries(fw_readerprobe_core PUBLIC fw_options fw_reader_link fw_platform_devices
                      fw_platform_host_memory)

add_library(readerprobe MODULE detect_reader.cpp)
target_link_libraries(readerprobe PRIVATE fw_readerprobe_core)
set_target_properties(readerprobe PROPERTIES
  PREFIX ""
  OUTPUT_NAME readerprobe
  LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/readerprobe"
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/readerprobe.map")
if(WIN32)
  # readerprobe.dll: the module definition names the one undecorated export; the symbol
  # visibility of ELF has no meaning there.
  set_target_properties(readerprobe PROPERTIES
    LINK_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/readerprobe.def")
  target_sources(readerprobe PRIVATE readerprobe.def)
  set_source_files_properties(detect_reader.cpp PROPERTIES COMPILE_OPTIONS -Wno-attributes)
else()
  target_link_options(readerprobe PRIVATE
    "-Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/readerprobe.map")
endif()

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(readerprobe_test
    SOURCES tests/detect_reader_test.cpp
    LIBS fw_reader_link fw_fake_sysfs fw_test_support fw_reader_sim ${CMAKE_DL_LIBS})
  add_dependencies(readerprobe_test readerprobe readerprobe-host)
  target_compile_definitions(readerprobe_test PRIVATE
    READERPROBE_MODULE="$<TARGET_FILE:readerprobe>"
    READERPROBE_HOST="$<TARGET_FILE:readerprobe-host>")
  fw_add_test(readerprobe_parts_test
    SOURCES tests/parse_port_number_test.cpp tests/string_stack_test.cpp
    LIBS fw_readerprobe_core)
endif()

fw_add_fuzzer(readerprobe_parse_port_number_fuzz
  SOURCES fuzz/parse_port_number_fuzz.cpp
  LIBS fw_readerprobe_core
  RUNS 500000 MAX_LEN 64)
