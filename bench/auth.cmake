# Polling a Digest camera against an open one, with libcurl's Digest as the anchor.
find_package(CURL)
if(CURL_FOUND)
    ocelis_bench(bench_auth
        SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/auth.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/HttpTestServer.cpp
        LIBS ocelis_net_core CURL::libcurl)
else()
    message(STATUS "bench_auth skipped: libcurl development files not found")
endif()
