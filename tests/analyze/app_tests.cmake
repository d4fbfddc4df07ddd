# ryx-analyze end to end: the built program run on generated files.
find_package(Qt6 REQUIRED COMPONENTS Gui)
ryx_add_test(test_analyze_app ${CMAKE_CURRENT_SOURCE_DIR}/app_tests.cpp)
# ryx_analyze_input brings libsndfile, with which the tests write their recordings.
target_link_libraries(test_analyze_app PRIVATE ryx_analyze_input Qt6::Gui)
target_compile_definitions(test_analyze_app PRIVATE RYX_ANALYZE_PATH="$<TARGET_FILE:ryx-analyze>")
add_dependencies(test_analyze_app ryx-analyze)
