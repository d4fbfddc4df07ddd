# The input part: the built-in machine signal and the file readers (libsndfile
# for sound files, a streaming reader for CSV).
add_library(ryx_analyze_input STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/input.h
  ${CMAKE_CURRENT_SOURCE_DIR}/input.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/input_limits.h
  ${CMAKE_CURRENT_SOURCE_DIR}/input_machine.h
  ${CMAKE_CURRENT_SOURCE_DIR}/input_machine.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/input_csv.h
  ${CMAKE_CURRENT_SOURCE_DIR}/input_csv.cpp)
target_include_directories(ryx_analyze_input PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ryx_analyze_input PUBLIC Qt6::Core PkgConfig::SNDFILE PRIVATE ryx_warnings)
