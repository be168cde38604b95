# Stream reader (multipart/x-mixed-replace parts from any camera).
ocelis_fuzzer(fuzz_multipart SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/multipart.cpp LIBS ocelis_net_core)
