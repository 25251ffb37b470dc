add_executable(bench_sim VirtualRecorderBench.cpp)
target_link_libraries(bench_sim PRIVATE tarnwell_options tarnwell_sim tarnwell_device
  benchmark::benchmark_main)
add_test(NAME bench_sim_smoke COMMAND bench_sim --benchmark_filter=WithoutLatency
  --benchmark_min_time=0.001)
