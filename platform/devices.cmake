# Device setup model from sysfs, the sibling product's registry hive and common data folder.
if(WIN32)
  add_library(fw_platform_devices STATIC
    registry_hive.cpp
    win32/common_data_folder_win32.cpp
    win32/device_setup_setupapi.cpp
    win32/registry_win32.cpp)
  target_link_libraries(fw_platform_devices PUBLIC fw_options fw_platform_serial
                        PRIVATE setupapi shell32 advapi32)
else()
  add_library(fw_platform_devices STATIC
    registry_hive.cpp
    posix/common_data_folder_wine.cpp
    posix/device_setup_sysfs.cpp
    posix/wine_registry.cpp)
  target_link_libraries(fw_platform_devices PUBLIC fw_options fw_platform_serial)
endif()

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(platform_devices_test
    SOURCES tests/device_setup_test.cpp tests/common_data_folder_test.cpp
    LIBS fw_platform_devices fw_fake_sysfs fw_test_support)
  fw_add_test(platform_registry_test
    SOURCES tests/wine_registry_test.cpp
    LIBS fw_platform_devices fw_fake_sysfs fw_test_support)
endif()

fw_add_fuzzer(platform_registry_fuzz
  SOURCES fuzz/registry_text_fuzz.cpp
  LIBS fw_platform_devices
  RUNS 200000 MAX_LEN 4096)
