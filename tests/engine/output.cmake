# tava.so, the output host on ALSA: its decisions and conversion directly, and the library as the program
# loads it, playing into a file PCM over null that the test's own ALSA configuration defines.
add_executable(test_output_logic test_output_logic.cpp)
target_link_libraries(test_output_logic PRIVATE tava_logic GTest::gtest_main)
gtest_discover_tests(test_output_logic TEST_PREFIX "output." DISCOVERY_TIMEOUT 30)

add_executable(test_output_host test_output_host.cpp)
target_link_libraries(test_output_host PRIVATE tava tava_logic test_support GTest::gtest Threads::Threads)
gtest_discover_tests(test_output_host TEST_PREFIX "output." DISCOVERY_TIMEOUT 30)

add_executable(test_output_pcm test_output_pcm.cpp)
target_link_libraries(test_output_pcm PRIVATE tava_logic test_support GTest::gtest_main)
gtest_discover_tests(test_output_pcm TEST_PREFIX "output." DISCOVERY_TIMEOUT 30)
