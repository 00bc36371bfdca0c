# The reader link. A static library: the windowed program and the installer plug-in each link
# their own copy, and so each has its own process-wide port state.
add_library(fw_reader_link STATIC
  commands.cpp
  frame.cpp
  link_error.cpp
  tag_technology.cpp
  reader_info.cpp
  reader_information.cpp
  transport.cpp)
target_link_libraries(fw_reader_link PUBLIC fw_options fw_platform_serial)

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(reader_link_frame_test SOURCES tests/frame_test.cpp LIBS fw_reader_link)
endif()

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(reader_link_transport_test SOURCES tests/transport_test.cpp
              LIBS fw_reader_link fw_test_support)
endif()

fw_add_fuzzer(reader_link_reply_scanner_fuzz SOURCES fuzz/reply_scanner_fuzz.cpp
              LIBS fw_reader_link RUNS 300000 MAX_LEN 400)

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(reader_link_commands_test SOURCES tests/commands_test.cpp
              LIBS fw_reader_link fw_reader_sim fw_test_support)
endif()
