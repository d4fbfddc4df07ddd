# Configures, builds and runs the consumer project against the installed package,
# then builds the same program from the pkg-config file alone.
file(REMOVE_RECURSE ${BINARY})
set(args "")
if(FLAGS)
  set(args "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -DCMAKE_PREFIX_PATH=${PREFIX} ${args}
                RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "configuring the consumer failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "building the consumer failed")
endif()
execute_process(COMMAND ${BINARY}/consumer ${VERSION} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(rc OR NOT out MATCHES "ok")
  message(FATAL_ERROR "the consumer did not run: ${rc} ${out}")
endif()

set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs ryx_math RESULT_VARIABLE rc OUTPUT_VARIABLE pc
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(rc OR NOT pc MATCHES "-lryx_math")
  message(FATAL_ERROR "pkg-config --cflags --libs ryx_math failed: ${rc} ${pc}")
endif()
separate_arguments(pc UNIX_COMMAND "${pc}")
separate_arguments(extra UNIX_COMMAND "${FLAGS}")
execute_process(COMMAND ${CXX} -std=c++17 ${extra} -I${SOURCE}/host ${SOURCE}/main.cpp ${pc}
                        -Wl,-rpath,${PREFIX}/${LIBDIR} -o ${BINARY}/consumer-pc
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc)
  message(FATAL_ERROR "building the consumer from pkg-config failed: ${err}")
endif()
execute_process(COMMAND ${BINARY}/consumer-pc ${VERSION} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(rc OR NOT out MATCHES "ok")
  message(FATAL_ERROR "the pkg-config consumer did not run: ${rc} ${out}")
endif()
