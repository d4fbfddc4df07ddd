# The program itself: options, the analysis registry, the run loop and the summary.
add_executable(ryx-analyze
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/analysis.h
  ${CMAKE_CURRENT_LIST_DIR}/analysis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app_summary.h
  ${CMAKE_CURRENT_LIST_DIR}/app_summary.cpp)
target_include_directories(ryx-analyze PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(ryx-analyze PRIVATE RYX_ANALYZE_VERSION="${PROJECT_VERSION}")
target_link_libraries(ryx-analyze PRIVATE ryx_analyze_input ryx_analyze_output
  ryx::ryx_math ryx::ryx_core Qt6::Widgets ryx_warnings)
install(TARGETS ryx-analyze RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
