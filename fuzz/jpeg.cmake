ocelis_fuzzer(fuzz_jpeg SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/jpeg.cpp LIBS ocelis_imaging_core)
