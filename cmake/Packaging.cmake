# Installation: the programs, and the two control libraries as CMake
# packages (find_package(zudownload), find_package(Schedule)) together with
# the shared platform they need (package TessalPlatform).
#
#   bin/                 tessal, EXTRACT, ctlhost
#   lib/                 libzudownload.so, libSchedule.so, libtessalplatform.so, libtessalcommon.so
#   include/tessal/      platform and common headers
#   include/zudownload/  download control headers
#   include/Schedule/    progress bar headers
#   lib/cmake/<package>/ package files
#
# Libraries find each other in their own folder, programs in ../lib.

include(CMakePackageConfigHelpers)

set(TESSAL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake)
file(RELATIVE_PATH tessal_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})

# Source folders given as plain paths become build-only, and the installed
# headers take their place.
function(tessal_install_interface target includedir)
    get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    set(result "")
    if(dirs)
        foreach(dir IN LISTS dirs)
            if(dir MATCHES "^\\$<")
                list(APPEND result "${dir}")
            else()
                list(APPEND result "$<BUILD_INTERFACE:${dir}>")
            endif()
        endforeach()
    endif()
    list(APPEND result "$<INSTALL_INTERFACE:${includedir}>")
    set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES "${result}")
endfunction()

# The shared platform and common helpers.
tessal_install_interface(common ${CMAKE_INSTALL_INCLUDEDIR}/tessal)
set_target_properties(common PROPERTIES EXPORT_NAME tessalcommon INSTALL_RPATH "$ORIGIN")
set_target_properties(platform PROPERTIES EXPORT_NAME tessalplatform INSTALL_RPATH "$ORIGIN")
install(TARGETS common platform EXPORT TessalPlatformTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/common/ ${PROJECT_SOURCE_DIR}/platform/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessal FILES_MATCHING PATTERN "*.h")
install(EXPORT TessalPlatformTargets NAMESPACE Tessal:: DESTINATION ${TESSAL_CMAKEDIR}/TessalPlatform)

# Static libraries linked into a control library still appear in its link
# interface, so they have to be exported with it.
function(tessal_static_dependencies target result)
    set(found "")
    get_target_property(libraries ${target} LINK_LIBRARIES)
    if(libraries)
        foreach(library IN LISTS libraries)
            if(TARGET ${library} AND NOT library MATCHES "::")
                get_target_property(type ${library} TYPE)
                if(type STREQUAL "STATIC_LIBRARY")
                    tessal_static_dependencies(${library} nested)
                    list(APPEND found ${library} ${nested})
                endif()
            endif()
        endforeach()
    endif()
    list(REMOVE_DUPLICATES found)
    set(${result} "${found}" PARENT_SCOPE)
endfunction()

# One package per control library.
function(tessal_install_control_library name)
    cmake_parse_arguments(arg "" "" "HEADERS" ${ARGN})
    tessal_install_interface(${name} ${CMAKE_INSTALL_INCLUDEDIR}/${name})
    set_target_properties(${name} PROPERTIES INSTALL_RPATH "$ORIGIN")
    tessal_static_dependencies(${name} parts)
    foreach(part IN LISTS parts)
        tessal_install_interface(${part} ${CMAKE_INSTALL_INCLUDEDIR}/${name})
    endforeach()
    install(TARGETS ${name} ${parts} EXPORT ${name}Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}/${name}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    )
    foreach(dir IN LISTS arg_HEADERS)
        install(DIRECTORY ${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${name} FILES_MATCHING PATTERN "*.h")
    endforeach()
    install(EXPORT ${name}Targets NAMESPACE ${name}:: DESTINATION ${TESSAL_CMAKEDIR}/${name})
    set(config ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}Config.cmake)
    file(WRITE ${config} [=[
include(CMakeFindDependencyMacro)
find_dependency(TessalPlatform CONFIG PATHS "${CMAKE_CURRENT_LIST_DIR}/.." NO_DEFAULT_PATH)
include("${CMAKE_CURRENT_LIST_DIR}/@NAME@Targets.cmake")
]=])
    file(READ ${config} text)
    string(REPLACE "@NAME@" "${name}" text "${text}")
    file(WRITE ${config} "${text}")
    write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}ConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${config} ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}ConfigVersion.cmake
        DESTINATION ${TESSAL_CMAKEDIR}/${name})
endfunction()

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/packaging/TessalPlatformConfig.cmake [=[
include(CMakeFindDependencyMacro)
find_dependency(Qt6 COMPONENTS Core Gui Widgets Network)
include("${CMAKE_CURRENT_LIST_DIR}/TessalPlatformTargets.cmake")
]=])
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/packaging/TessalPlatformConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/TessalPlatformConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/packaging/TessalPlatformConfigVersion.cmake
    DESTINATION ${TESSAL_CMAKEDIR}/TessalPlatform)

if(TARGET zudownload)
    tessal_install_control_library(zudownload HEADERS
        ${PROJECT_SOURCE_DIR}/download/http ${PROJECT_SOURCE_DIR}/download/ftp ${PROJECT_SOURCE_DIR}/download/about)
endif()
if(TARGET Schedule)
    if(NOT TARGET Schedule::Schedule)
        add_library(Schedule::Schedule ALIAS Schedule)
    endif()
    tessal_install_control_library(Schedule HEADERS ${PROJECT_SOURCE_DIR}/progress)
endif()

# Programs.
foreach(program tessal EXTRACT ctlhost)
    if(TARGET ${program})
        set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${tessal_bin_to_lib}")
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()
