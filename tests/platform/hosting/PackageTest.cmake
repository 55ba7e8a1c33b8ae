# Installs the build into a fresh prefix, then builds and runs a host that
# finds both control libraries with find_package, runs the installed ctlhost,
# and checks that the installed tessal links nothing of the suite.
# Needs BUILD_DIR, WORK_DIR, SOURCE_DIR and LIBDIR; CONSUMER_FLAGS and
# CONSUMER_COMPILER build the host like the libraries (sanitizers).

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${ARGN}\nfailed (${rc}):\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
    -DCMAKE_CXX_COMPILER=${CONSUMER_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${prefix}/${LIBDIR})
message(STATUS "${out}")

foreach(class ZuHTTPdownload ZuFTPDownLoad Schedule)
    file(WRITE ${WORK_DIR}/commands.txt "[\"members\"]\n[\"quit\"]\n")
    execute_process(COMMAND ${prefix}/bin/ctlhost ${class} INPUT_FILE ${WORK_DIR}/commands.txt
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "\"members\":\\[\"")
        message(FATAL_ERROR "installed ctlhost ${class}: ${rc}\n${out}\n${err}")
    endif()
endforeach()

# tessal stands alone: Qt and the system, nothing of the suite.
run(ldd ${prefix}/bin/tessal)
if(out MATCHES "tessalhosting|zudownload|Schedule|tessalplatform|tessalcommon")
    message(FATAL_ERROR "installed tessal links a library of the suite:\n${out}")
endif()
