# The AVI writer as a command for bench/avi.sh, which times it against ffmpeg.
add_executable(bench_avi ${CMAKE_CURRENT_SOURCE_DIR}/avi.cpp)
target_link_libraries(bench_avi PRIVATE ocelis_avi_core)
set_property(TARGET bench_avi PROPERTY AUTOMOC OFF)
ocelis_warnings(bench_avi)
