# HEAD+GET of the HTTP client against libcurl on a loopback server (http and https), and the
# cost of one hand-over to a Qt event loop. libcurl is for this comparison only.
find_package(CURL)
find_package(OpenSSL REQUIRED)
if(CURL_FOUND AND TARGET ocelis_net_gui)
    ocelis_bench(bench_http
        SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/http.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/HttpTestServer.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/FakeGuiLoop.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/TlsTestServer.cpp
                ${PROJECT_SOURCE_DIR}/tests/support/TestCertificates.cpp
        LIBS ocelis_net_core ocelis_net_gui CURL::libcurl OpenSSL::SSL Qt6::Core)
else()
    message(STATUS "bench_http skipped: libcurl development files not found")
endif()
