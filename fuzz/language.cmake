# Language files applied to a window with every kind of component (Qt offscreen).
ocelis_fuzzer(fuzz_language SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/language.cpp
              LIBS ocelis_gui_base ocelis_settings_translator)
target_include_directories(fuzz_language PRIVATE ${PROJECT_SOURCE_DIR}/tests)
