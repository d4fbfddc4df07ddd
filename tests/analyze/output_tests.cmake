# The result writers. Plotting needs a QApplication, so this program has its own
# main (in output_tests.cpp) rather than the shared QCoreApplication one.
add_executable(test_analyze_output ${CMAKE_CURRENT_SOURCE_DIR}/output_tests.cpp)
target_link_libraries(test_analyze_output PRIVATE GTest::gtest ryx_analyze_output ryx_warnings)
add_test(NAME test_analyze_output COMMAND test_analyze_output)
set_tests_properties(test_analyze_output PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
