# One viewer of a 640x480 stream at 25 pictures a second (ffmpeg serves a pre-encoded clip):
# pictures painted a second, CPU beside ffmpeg decoding the same stream, resident memory.
if(TARGET ocelis_viewer_gui)
    ocelis_bench(bench_stream SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stream.cpp
        LIBS ocelis_viewer_gui ocelis_net_gui ocelis_settings_core Qt6::Widgets)
endif()
