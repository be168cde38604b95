# The catalogue editor with 100,000 webcams: LoadTree until the window has painted, and
# ApplyTree with the save of Options.xml.
ocelis_bench(bench_editor SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/editor.cpp
             LIBS ocelis_catalogue_editor ocelis_settings_core ocelis_platform_core Qt6::Widgets)
set_property(TARGET bench_editor PROPERTY AUTOMOC OFF)
