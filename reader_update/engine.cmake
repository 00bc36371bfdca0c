# Reader firmware files and the download engine (no Qt): the windowed program and the
# command-line program share it.
add_library(fw_reader_update STATIC
  download_engine.cpp
  firmware_folder.cpp
  firmware_source.cpp
  outcome_text.cpp
  package_reader.cpp
  progress_position.cpp
  update_workers.cpp)
target_link_libraries(fw_reader_update PUBLIC fw_options fw_reader_link fw_markup fw_string_table
                      fw_posted_messages fw_platform_files)

if(NOT FLASHWRIGHT_FUZZ)
  # Intel HEX fixtures written by real tools. The image starts with the header record the
  # reader needs (8 data bytes, descriptor byte 6 = 0x40: class 1, platform 0, behind the
  # start bytes 0C EF 00 F0) and fills 512 bytes.
  find_program(FW_SREC_CAT srec_cat REQUIRED)
  find_program(FW_OBJCOPY NAMES objcopy REQUIRED)
  set(fw_fixtures ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
  set(fw_fixture_files
    ${fw_fixtures}/image.bin
    ${fw_fixtures}/objcopy_image.hex
    ${fw_fixtures}/srec_image.hex
    ${fw_fixtures}/srec_extended.hex
    ${fw_fixtures}/objcopy_extended.hex
    ${fw_fixtures}/objcopy_segmented.hex)
  add_custom_command(
    OUTPUT ${fw_fixture_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${fw_fixtures}
    COMMAND ${FW_SREC_CAT} -generate 0 8 -repeat-data 0x0C 0xEF 0x00 0xF0 0x00 0x00 0x40 0x00
            -generate 8 0x200 -repeat-string "Flashwright reader firmware "
            -o ${fw_fixtures}/image.bin -binary
    COMMAND ${FW_OBJCOPY} -I binary -O ihex ${fw_fixtures}/image.bin ${fw_fixtures}/objcopy_image.hex
    COMMAND ${FW_SREC_CAT} ${fw_fixtures}/image.bin -binary
            -o ${fw_fixtures}/srec_image.hex -intel -output_block_size=16
    COMMAND ${FW_SREC_CAT} ${fw_fixtures}/image.bin -binary
            ${fw_fixtures}/image.bin -binary -offset 0x10000
            -o ${fw_fixtures}/srec_extended.hex -intel -output_block_size=16
    COMMAND ${FW_OBJCOPY} -I binary -O ihex --change-section-address .data+0x100000
            ${fw_fixtures}/image.bin ${fw_fixtures}/objcopy_extended.hex
    COMMAND ${FW_OBJCOPY} -I binary -O ihex --change-addresses 0x10000
            ${fw_fixtures}/image.bin ${fw_fixtures}/objcopy_segmented.hex
    COMMENT "Writing Intel HEX fixtures with srec_cat and objcopy"
    VERBATIM)
  add_custom_target(fw_reader_update_fixtures DEPENDS ${fw_fixture_files})

  fw_add_test(firmware_source_test SOURCES tests/firmware_source_test.cpp
              LIBS fw_reader_update fw_test_support)
  fw_add_test(image_check_test SOURCES tests/image_check_test.cpp
              LIBS fw_reader_update fw_test_support)
  target_compile_definitions(image_check_test PRIVATE FW_FIXTURE_DIR="${fw_fixtures}")
  add_dependencies(image_check_test fw_reader_update_fixtures)
  # Its own program: it replaces operator new.
  fw_add_test(worker_start_test SOURCES tests/worker_start_test.cpp
              LIBS fw_reader_update fw_failing_allocation)
  fw_add_test(update_outcome_test
    SOURCES tests/outcome_text_test.cpp
    LIBS fw_reader_update)

  if(TARGET fw_test_support)
    # Its own program: it stands in for readdir.
    fw_add_test(firmware_listing_test
      SOURCES tests/firmware_listing_test.cpp
      LIBS fw_reader_update fw_test_support ${CMAKE_DL_LIBS})
    fw_add_test(firmware_files_test
      SOURCES tests/firmware_files_test.cpp
      LIBS fw_reader_update fw_test_support)
  endif()
  if(TARGET fw_test_support AND TARGET fw_reader_sim)
    # Each case runs in its own process with its own port folder, so they run in parallel.
    fw_add_test(update_e2e_test
      SOURCES tests/update_e2e_test.cpp
      LIBS fw_reader_update fw_reader_sim fw_test_support)
    target_compile_definitions(update_e2e_test PRIVATE FW_FIXTURE_DIR="${fw_fixtures}")
    add_dependencies(update_e2e_test fw_reader_update_fixtures)
    # A program that ends in the middle of a run, and the test that watches it do so.
    add_executable(update_exit_probe tests/update_exit_probe.cpp)
    target_link_libraries(update_exit_probe PRIVATE fw_options fw_reader_update)
    fw_add_test(update_exit_test
      SOURCES tests/update_exit_test.cpp
      LIBS fw_reader_update fw_reader_sim fw_test_support)
    target_compile_definitions(update_exit_test PRIVATE
      FW_EXIT_PROBE="$<TARGET_FILE:update_exit_probe>")
    add_dependencies(update_exit_test update_exit_probe)
  endif()
endif()

fw_add_fuzzer(hex_record_fuzz SOURCES fuzz/hex_record_fuzz.cpp LIBS fw_reader_update RUNS 200000)
