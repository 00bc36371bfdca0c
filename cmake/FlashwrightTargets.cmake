# Common compile options and helpers for the project's targets.

add_library(fw_options INTERFACE)
target_compile_options(fw_options INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor)
if(FLASHWRIGHT_WERROR)
  target_compile_options(fw_options INTERFACE -Werror)
endif()
target_include_directories(fw_options INTERFACE ${PROJECT_SOURCE_DIR})

if(FLASHWRIGHT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(FLASHWRIGHT_FUZZ)
  # Every object of the fuzz build carries coverage for libFuzzer and the sanitizers.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The Windows build (mingw-w64, tests under Wine) makes what fw_windows depends on: the
# deliverables, the test programs of the Windows side and every test program that needs none of
# the Linux-only helpers below (pseudo-terminals, sysfs trees, USB emulated under umockdev).
if(WIN32)
  add_custom_target(fw_windows ALL)
  set(FW_LINUX_ONLY_LIBS fw_test_support fw_reader_sim fw_fake_sysfs fw_usb_mockdev)
  # Header-only libraries come from the host's packages; only their headers are used, from a
  # copy that holds nothing else of /usr/include.
  set(_fw_host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(COPY /usr/include/CLI /usr/include/nlohmann DESTINATION ${_fw_host_headers}/include)
  foreach(_fw_package IN ITEMS CLI11 nlohmann_json)
    file(WRITE ${_fw_host_headers}/${_fw_package}Config.cmake
      "if(NOT TARGET ${_fw_package}::${_fw_package})\n"
      "  add_library(${_fw_package}::${_fw_package} INTERFACE IMPORTED)\n"
      "  set_target_properties(${_fw_package}::${_fw_package} PROPERTIES\n"
      "    INTERFACE_INCLUDE_DIRECTORIES ${_fw_host_headers}/include)\n"
      "endif()\n")
    set(${_fw_package}_DIR ${_fw_host_headers} CACHE PATH "" FORCE)
  endforeach()
endif()

# fw_windows_can_build(RESULT lib...): whether a test on these libraries can be built for
# Windows, that is none of them is a Linux-only helper.
function(fw_windows_can_build result)
  set(${result} TRUE PARENT_SCOPE)
  foreach(lib IN LISTS ARGN)
    if(lib IN_LIST FW_LINUX_ONLY_LIBS)
      set(${result} FALSE PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

# fw_add_windows_test(NAME TIMEOUT): the Windows build makes the test program and CTest runs it
# whole under Wine.
function(fw_add_windows_test name timeout)
  add_dependencies(fw_windows ${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
endfunction()

# fw_add_test(NAME SOURCES src... LIBS lib...)
# A GoogleTest executable whose cases CTest discovers when the tests run.
function(fw_add_test name)
  if(FLASHWRIGHT_FUZZ)
    return()  # the fuzz configuration builds fuzzers only
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE fw_options GTest::gtest GTest::gtest_main GTest::gmock ${T_LIBS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(WIN32)
    # Run whole under Wine; a test on Linux-only helpers is defined but not built.
    fw_windows_can_build(buildable ${T_LIBS})
    if(buildable)
      fw_add_windows_test(${name} ${T_TIMEOUT})
    endif()
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()

# fw_add_qtest(NAME SOURCES src... LIBS lib...)
# A QTest executable run on the offscreen platform.
function(fw_add_qtest name)
  if(NOT FLASHWRIGHT_GUI)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE fw_options Qt6::Test ${T_LIBS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# fw_add_ui_test(NAME SOURCES src... LIBS lib...)
# A GoogleTest executable that makes windows: its main starts the windowing system first (on
# Qt's offscreen platform unless another is named), so the cases run against the real backend.
# The Windows build makes the same tests on the Win32 backend, run whole under Wine on a
# virtual display, unless they need a Linux-only helper.
function(fw_add_ui_test name)
  if(NOT FW_WINDOWED)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(WIN32)
    fw_windows_can_build(buildable ${T_LIBS})
    if(NOT buildable)
      return()
    endif()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE fw_options GTest::gtest GTest::gmock fw_ui_test_main
                        ${T_LIBS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(WIN32)
    fw_add_windows_test(${name} ${T_TIMEOUT})
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# fw_add_fuzzer(NAME SOURCES src... LIBS lib... [RUNS n])
# A libFuzzer target, run by CTest for a bounded number of iterations.
function(fw_add_fuzzer name)
  cmake_parse_arguments(F "" "RUNS;MAX_LEN" "SOURCES;LIBS" ${ARGN})
  if(NOT FLASHWRIGHT_FUZZ)
    return()
  endif()
  if(NOT F_RUNS)
    set(F_RUNS 200000)
  endif()
  if(NOT F_MAX_LEN)
    set(F_MAX_LEN 4096)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE fw_options ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_test(NAME ${name} COMMAND ${name} -runs=${F_RUNS} -max_len=${F_MAX_LEN} -seed=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# Each subsystem folder is made of parts: every "<topic>.cmake" file in the folder is included
# (in name order), so that the owner of a topic keeps its targets, tests and fuzzers together.
macro(fw_include_parts)
  file(GLOB _fw_parts CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cmake")
  list(SORT _fw_parts)
  foreach(_fw_part IN LISTS _fw_parts)
    include("${_fw_part}")
  endforeach()
endmacro()

# Adds every subfolder that has a CMakeLists.txt.
macro(fw_add_subfolders)
  file(GLOB _fw_subs LIST_DIRECTORIES true CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT _fw_subs)
  foreach(_fw_sub IN LISTS _fw_subs)
    if(IS_DIRECTORY "${_fw_sub}" AND EXISTS "${_fw_sub}/CMakeLists.txt")
      add_subdirectory("${_fw_sub}")
    endif()
  endforeach()
endmacro()

# umockdev (the USB device emulation of the libusb tests) and its wrapper.
find_package(PkgConfig REQUIRED)
pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
find_program(FW_UMOCKDEV_WRAPPER umockdev-wrapper)
if(UMOCKDEV_FOUND AND FW_UMOCKDEV_WRAPPER AND NOT FLASHWRIGHT_FUZZ AND NOT WIN32)
  set(FW_HAVE_UMOCKDEV ON)
endif()

# fw_add_umockdev_test(NAME SOURCES src... LIBS lib...)
# A GoogleTest executable that runs under umockdev-wrapper, so that the USB devices it sees are
# the ones its umockdev test bed emulates. Nothing when umockdev is not installed.
function(fw_add_umockdev_test name)
  if(FLASHWRIGHT_FUZZ)
    return()
  endif()
  if(NOT FW_HAVE_UMOCKDEV)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE fw_options GTest::gtest GTest::gtest_main GTest::gmock
                        fw_usb_mockdev ${T_LIBS})
  # The preloaded library comes before the sanitizer runtime, and GLib keeps its type system
  # for the life of the process: the sanitizer is told so for the test runs and for the
  # listing of the tests alike.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "env;ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0;${FW_UMOCKDEV_WRAPPER}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()
