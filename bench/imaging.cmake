ocelis_bench(bench_imaging SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/imaging.cpp
             LIBS ocelis_imaging_core ocelis_viewer_core ocelis_settings_core JPEG::JPEG)
