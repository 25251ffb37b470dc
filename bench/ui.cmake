# Start-up to the first page (bench/run-all): the wizard started as tarnwell does it, and the
# least Qt Widgets program for reference. run-all copies bench_startup into a copy of the
# bundle, so the shipped bundle holds neither.
add_library(bench_first_paint STATIC FirstPaint.cpp FirstPaint.h)
target_link_libraries(bench_first_paint PUBLIC tarnwell_options Qt6::Widgets)

add_executable(bench_startup StartUpBenchMain.cpp)
target_link_libraries(bench_startup PRIVATE bench_first_paint tarnwell_ui tarnwell_core
  tarnwell_sim Qt6::Widgets)

add_executable(bench_minimal_widgets MinimalWidgetsMain.cpp)
target_link_libraries(bench_minimal_widgets PRIVATE bench_first_paint Qt6::Widgets)
add_test(NAME bench_minimal_widgets_smoke COMMAND bench_minimal_widgets)
set_tests_properties(bench_minimal_widgets_smoke PROPERTIES
  ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 30)
