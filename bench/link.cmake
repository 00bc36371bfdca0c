# Reply recognition latency and CPU per exchange of the reader link's receive loop.
if(NOT FLASHWRIGHT_FUZZ)
  add_executable(bench_link_latency link_latency_bench.cpp)
  target_link_libraries(bench_link_latency PRIVATE fw_options fw_reader_link fw_reader_sim
                        fw_test_support)
endif()
