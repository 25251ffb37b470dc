add_executable(bench_firmware FirmwareBench.cpp)
target_link_libraries(bench_firmware PRIVATE tarnwell_options tarnwell_firmware PkgConfig::MINIZIP
  benchmark::benchmark_main)
add_test(NAME bench_firmware_smoke COMMAND bench_firmware --benchmark_min_time=0.001)

# The file-copy update's copy onto a volume, timed against cp by bench/run-all.
add_executable(bench_file_copy FileCopyBenchMain.cpp)
target_link_libraries(bench_file_copy PRIVATE tarnwell_options tarnwell_firmware)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/file-copy-volume)
add_test(NAME bench_file_copy_smoke COMMAND bench_file_copy ${TARNWELL_BUNDLE_DIR}/Info.plist
  ${CMAKE_CURRENT_BINARY_DIR}/file-copy-volume)
