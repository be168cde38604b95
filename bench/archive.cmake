# Listing and filtering an archive folder of 100,000 pictures (warm cache), and the worst
# gap of the dialog's event loop while it lists.
if(TARGET ocelis_avi_gui)
    ocelis_bench(bench_archive SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/archive.cpp
                 LIBS ocelis_avi_gui ocelis_net_gui Qt6::Widgets)
endif()
