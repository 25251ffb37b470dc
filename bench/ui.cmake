# Start-up to the first page (bench/run-all) compares the shipped tarnwell with the least Qt
# Widgets program; both are timed from outside, so neither carries a measuring hook.
add_executable(bench_minimal_widgets MinimalWidgetsMain.cpp)
target_link_libraries(bench_minimal_widgets PRIVATE Qt6::Widgets)
