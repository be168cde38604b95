# Address reader (web addresses as users write them and Location headers relative to them).
ocelis_fuzzer(fuzz_url SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/url.cpp LIBS ocelis_net_core)
