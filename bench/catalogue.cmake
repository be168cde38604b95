# Options.xml load and save against pugixml (benchmark-only dependency).
find_package(pugixml REQUIRED)
ocelis_bench(bench_catalogue SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/catalogue.cpp
             LIBS ocelis_settings_core ocelis_catalogue_core pugixml::pugixml)
