# Installs the geometry component into a scratch prefix, then configures, builds and runs a
# small program that finds it with find_package(TelvoGeometry).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component geometry
                        --prefix ${prefix}
                RESULT_VARIABLE rc TIMEOUT 60)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
                        -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix}
                        "-DCMAKE_CXX_FLAGS=${SANITIZE_FLAGS}"
                        "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZE_FLAGS}"
                RESULT_VARIABLE rc TIMEOUT 120)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "consumer configure failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc TIMEOUT 120)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "consumer build failed: ${rc}")
endif()
execute_process(COMMAND ${WORK_DIR}/build/consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out
                TIMEOUT 30)
message(STATUS "${out}")
if(NOT rc EQUAL 0 OR NOT out MATCHES "ok")
    message(FATAL_ERROR "consumer failed: ${rc}")
endif()
