# Under Wine, the windowed program's start-up to its first paint against a bare Win32 window in
# the same prefix (bench/wine-startup.sh runs both).
if(WIN32 AND NOT FLASHWRIGHT_FUZZ)
  add_executable(bench_bare_window WIN32 bare_window_win32.cpp)
  target_link_libraries(bench_bare_window PRIVATE fw_options user32 gdi32)
  add_dependencies(fw_windows bench_bare_window)
endif()
