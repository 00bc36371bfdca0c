# CPU time of a reader tool exchange with a silent reader: waiting for input against spinning.
if(NOT FLASHWRIGHT_FUZZ)
  add_executable(bench_tool_exchange tool_exchange_bench.cpp)
  target_link_libraries(bench_tool_exchange PRIVATE fw_options fw_reader_tools fw_reader_sim
                        fw_test_support)
endif()
