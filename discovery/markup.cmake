# The read-only XML document class of the firmware packages.
add_library(fw_markup STATIC markup.cpp)
target_link_libraries(fw_markup PUBLIC fw_options)

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(markup_test SOURCES tests/markup_test.cpp LIBS fw_markup)
endif()
fw_add_fuzzer(markup_fuzz SOURCES fuzz/markup_fuzz.cpp LIBS fw_markup RUNS 200000)
