# HTTP answer reader (status line, header block, bodies, cookies and dates from any server).
ocelis_fuzzer(fuzz_http SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/http.cpp LIBS ocelis_net_core)
target_include_directories(fuzz_http PRIVATE ${PROJECT_SOURCE_DIR}/tests)
