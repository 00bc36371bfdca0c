# Start-up of the windowed program and the user-interface thread's longest stall in an update.
if(FLASHWRIGHT_GUI)
  add_executable(bench_startup startup_bench.cpp)
  # The bare-Qt baseline and the stall meter use Qt itself.
  target_link_libraries(bench_startup PRIVATE fw_options fw_app_test_harness Qt6::Widgets)
  target_compile_definitions(bench_startup PRIVATE
    FW_PROGRAM_PATH="$<TARGET_FILE:flashwright-testbuild>"
    FW_FORM_FLOOR_PATH="$<TARGET_FILE:startup-form-floor>")
  add_dependencies(bench_startup flashwright-testbuild startup-form-floor)
endif()
