# XML reader (Options.xml, .cam and language files are untrusted bytes).
ocelis_fuzzer(fuzz_xml SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/xml.cpp LIBS ocelis_catalogue_core)
