# Reader port discovery and the reader version gate.
find_package(pugixml REQUIRED)
if(TARGET pugixml::pugixml)
  set(FW_PUGIXML pugixml::pugixml)
else()
  set(FW_PUGIXML pugixml)
endif()

add_library(fw_discovery STATIC find_reader.cpp friendly_port_name.cpp)
target_link_libraries(fw_discovery PUBLIC fw_options fw_reader_link fw_platform_devices
                      PRIVATE ${FW_PUGIXML})

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(discovery_test
    SOURCES tests/version_gate_test.cpp tests/xml_configuration_test.cpp
            tests/find_reader_test.cpp
    LIBS fw_discovery ${FW_PUGIXML} fw_fake_sysfs fw_test_support fw_reader_sim)
endif()

fw_add_fuzzer(discovery_version_constraint_fuzz
  SOURCES fuzz/version_constraint_fuzz.cpp
  LIBS fw_discovery
  RUNS 500000 MAX_LEN 64)
