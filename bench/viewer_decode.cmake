# A viewer's new picture: full-size decode against the decode at the size shown, both then
# scaled for the screen as the viewer draws them, with the SSIM of the two results.
if(TARGET ocelis_viewer_widgets)
    ocelis_bench(bench_viewer_decode SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/viewer_decode.cpp
                 LIBS ocelis_viewer_widgets ocelis_imaging_gui Qt6::Gui)
endif()
