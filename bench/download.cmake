# Download throughput against the wire-time limit of the paced reader simulator.
if(NOT FLASHWRIGHT_FUZZ AND TARGET fw_reader_sim AND TARGET fw_test_support)
  add_executable(bench_download download_bench.cpp)
  target_link_libraries(bench_download PRIVATE fw_options fw_reader_update fw_reader_sim
                        fw_test_support fw_cli)
endif()
