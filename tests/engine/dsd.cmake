# tavd.so, the DSF/DFF reader, and the test-file writer it is tested with.
add_executable(test_dsd test_dsd.cpp)
target_link_libraries(test_dsd PRIVATE tavd tavo test_support GTest::gtest_main)
gtest_discover_tests(test_dsd TEST_PREFIX "dsd." DISCOVERY_TIMEOUT 30)
