# The writers of ryx-analyze's results: CSV, JSON and PNG plots (Qt Charts).
add_library(ryx_analyze_output STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/output.h
  ${CMAKE_CURRENT_SOURCE_DIR}/result.h
  ${CMAKE_CURRENT_SOURCE_DIR}/output.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/output_plot.h
  ${CMAKE_CURRENT_SOURCE_DIR}/output_plot.cpp)
target_include_directories(ryx_analyze_output PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ryx_analyze_output PUBLIC Qt6::Widgets Qt6::Charts Qt6::Core PRIVATE ryx_warnings)
