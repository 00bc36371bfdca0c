# Reader port discovery and the reader version gate.
add_library(fw_discovery STATIC find_reader.cpp friendly_port_name.cpp)
target_link_libraries(fw_discovery PUBLIC fw_options fw_reader_link fw_platform_devices
                      PRIVATE fw_platform_xml)

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(discovery_test
    SOURCES tests/version_gate_test.cpp tests/xml_configuration_test.cpp
            tests/find_reader_test.cpp
    LIBS fw_discovery fw_platform_xml fw_fake_sysfs fw_test_support fw_reader_sim)
endif()

fw_add_fuzzer(discovery_version_constraint_fuzz
  SOURCES fuzz/version_constraint_fuzz.cpp
  LIBS fw_discovery
  RUNS 500000 MAX_LEN 64)
