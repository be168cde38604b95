# WWW-Authenticate reader and the Digest and Basic answers to what it reads.
ocelis_fuzzer(fuzz_auth SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/auth.cpp LIBS ocelis_net_core)
