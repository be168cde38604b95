# The mosaic at scale: opening 10,000 webcams, repaints, GUI time per fetched cell, and the
# memory and time of a full pass over 1,000 loopback webcams of 1280x720. Its pace: a full
# pass over 1,000 webcams on 50 ports with dead and dripping ones, and the CPU and fetches of
# one webcam on a local nginx (needs nginx; see setup.sh).
if(TARGET ocelis_mosaic_gui)
    ocelis_bench(bench_mosaic
        SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/mosaic.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/HttpTestServer.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/FakeGuiLoop.cpp
        LIBS ocelis_mosaic_gui ocelis_net_gui ocelis_settings_core Qt6::Widgets)
endif()
