add_executable(bench_service ServiceCodecBench.cpp)
target_link_libraries(bench_service PRIVATE tarnwell_options tarnwell_service
  benchmark::benchmark_main)
target_compile_definitions(bench_service PRIVATE
  TARNWELL_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
add_test(NAME bench_service_smoke COMMAND bench_service --benchmark_min_time=0.001)
# The whole-process comparison with curl: bench/download-vs-curl.sh (see app/service/README.md).
