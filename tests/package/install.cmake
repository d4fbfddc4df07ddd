# Installs the build tree into a fresh scratch prefix.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "installing failed")
endif()
