# The start-up benchmarks' second baseline (startup_form_floor.cpp): the design's first window
# through the windowing layer without the program, for bench_startup and bench/wine-startup.sh.
# Not named bench_*: it is a window the benchmarks start, not a benchmark of its own.
if(FW_WINDOWED)
  add_executable(startup-form-floor startup_form_floor.cpp)
  target_link_libraries(startup-form-floor PRIVATE fw_options fw_windowing fw_program_resources)
  set_target_properties(startup-form-floor PROPERTIES AUTOMOC OFF AUTOUIC OFF)
  if(WIN32)
    # A GUI program with the program's manifest, as flashwright-testbuild.exe is.
    set_target_properties(startup-form-floor PROPERTIES WIN32_EXECUTABLE ON)
    target_link_libraries(startup-form-floor PRIVATE fw_windows_resources)
    add_dependencies(fw_windows startup-form-floor)
  endif()
endif()
