# Every test runs on Qt's offscreen platform, with a home, configuration,
# cache and runtime folder of its own in the build tree, so that a test run
# leaves the user's home as it
# was (Qt keeps file-dialog history in the configuration folder).
#
# Tests that talk to nginx, vsftpd or pure-ftpd require the fixture "peers": private
# copies of the servers unpacked from Debian's packages into the build tree,
# found through TESSAL_PEERS. They are never installed as system services.

set(TESSAL_PEERS_DIR ${CMAKE_BINARY_DIR}/peers)
add_test(NAME peers COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/fetch-peers.sh ${TESSAL_PEERS_DIR})
set_tests_properties(peers PROPERTIES FIXTURES_SETUP peers TIMEOUT 600)

# add_test() with that environment; the suite adds its tests through it.
function(suite_add_test)
    cmake_parse_arguments(arg "" "NAME" "" ${ARGN})
    if(NOT arg_NAME)
        message(FATAL_ERROR "suite_add_test: NAME is required")
    endif()
    add_test(${ARGN})
    set(home ${CMAKE_BINARY_DIR}/testhome/${arg_NAME})
    file(MAKE_DIRECTORY ${home}/.config ${home}/.cache ${home}/runtime)
    file(CHMOD ${home}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set_property(TEST ${arg_NAME} PROPERTY ENVIRONMENT_MODIFICATION
        HOME=set:${home} XDG_CONFIG_HOME=set:${home}/.config XDG_CACHE_HOME=set:${home}/.cache
        XDG_DATA_HOME=set:${home}/.local/share XDG_RUNTIME_DIR=set:${home}/runtime
        TESSAL_PEERS=set:${TESSAL_PEERS_DIR} QT_QPA_PLATFORM=set:offscreen)
    if(SUITE_SANITIZER_FLAGS)
        # Each control library carries its own copy of the hosting base, so a host
        # loading both holds two identical copies; only copies that differ are faults.
        set_property(TEST ${arg_NAME} APPEND PROPERTY ENVIRONMENT_MODIFICATION
            ASAN_OPTIONS=set:detect_odr_violation=1)
    endif()
endfunction()
