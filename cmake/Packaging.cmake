# Installation and Debian packages (cpack -G DEB in the build folder).
#
#   bin/                   tessal (package tessal); ctlhost (installed, not packaged)
#   libexec/tessal/        EXTRACT, which tessal runs (package tessal)
#   share/applications/    tessal.desktop, and its icon under share/icons/hicolor
#   share/man/man1/        tessal.1
#   lib/ARCH/              libzudownload.so.1, libSchedule.so.1, libtessalhosting.so.1
#   include/zudownload/    the download controls' public headers   } with their package
#   include/Schedule/      the progress bar's public headers        } files in lib/ARCH/cmake/NAME
#   include/tessal/        the hosting library's headers            } (find_package(NAME))
#   share/doc/PACKAGE/     copyright and changelog.gz, per package
#
# The control libraries and their host share the hosting library (package
# TessalHosting): the control base, property bag, pictures, errors and the
# modal and shell hooks. Each control library links the rest it needs in.

include(CMakePackageConfigHelpers)

set(TESSAL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake)
file(RELATIVE_PATH tessal_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})

# Installs \a name as a CMake package NAME with the given targets, public
# headers (into include/INCLUDEDIR) and the packages it depends on.
function(tessal_install_library name)
    cmake_parse_arguments(arg "" "NAMESPACE;INCLUDEDIR;COMPONENT" "TARGETS;HEADERS;DEPENDENCIES" ${ARGN})
    set(includedir ${CMAKE_INSTALL_INCLUDEDIR}/${arg_INCLUDEDIR})
    foreach(target IN LISTS arg_TARGETS)
        target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${includedir}>)
        set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    endforeach()
    install(TARGETS ${arg_TARGETS} EXPORT ${name}Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${arg_COMPONENT}
            NAMELINK_COMPONENT ${arg_COMPONENT}-dev)
    install(FILES ${arg_HEADERS} DESTINATION ${includedir} COMPONENT ${arg_COMPONENT}-dev)
    install(EXPORT ${name}Targets NAMESPACE ${arg_NAMESPACE}:: DESTINATION ${TESSAL_CMAKEDIR}/${name}
        COMPONENT ${arg_COMPONENT}-dev)

    set(PACKAGE_NAME ${name})
    set(PACKAGE_DEPENDENCIES "")
    foreach(dependency IN LISTS arg_DEPENDENCIES)
        string(APPEND PACKAGE_DEPENDENCIES "find_dependency(${dependency})\n")
    endforeach()
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name})
    configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/PackageConfig.cmake.in ${dir}/${name}Config.cmake
        INSTALL_DESTINATION ${TESSAL_CMAKEDIR}/${name})
    write_basic_package_version_file(${dir}/${name}ConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${dir}/${name}Config.cmake ${dir}/${name}ConfigVersion.cmake
        DESTINATION ${TESSAL_CMAKEDIR}/${name} COMPONENT ${arg_COMPONENT}-dev)
endfunction()

set(qt_dependency "Qt6 COMPONENTS Core Gui Widgets Network")
set(hosting_headers ControlBase.h ControlLibrary.h InputCodes.h ModalRunner.h Picture.h PropertyBag.h Shell.h SystemError.h)
list(TRANSFORM hosting_headers PREPEND ${PROJECT_SOURCE_DIR}/platform/)

tessal_install_library(TessalHosting TARGETS tessalhosting NAMESPACE Tessal INCLUDEDIR tessal COMPONENT hosting
    HEADERS ${hosting_headers} ${PROJECT_BINARY_DIR}/platform/tessalhosting_export.h
    DEPENDENCIES ${qt_dependency})

if(TARGET zudownload)
    tessal_install_library(zudownload TARGETS zudownload NAMESPACE zudownload INCLUDEDIR zudownload
        COMPONENT zudownload
        HEADERS ${PROJECT_SOURCE_DIR}/download/http/ZuHTTPdownload.h ${PROJECT_SOURCE_DIR}/download/ftp/ZuFTPDownLoad.h
                ${PROJECT_BINARY_DIR}/download/zudownload_export.h
        DEPENDENCIES ${qt_dependency} TessalHosting)
endif()
if(TARGET Schedule)
    if(NOT TARGET Schedule::Schedule)
        add_library(Schedule::Schedule ALIAS Schedule)
    endif()
    tessal_install_library(Schedule TARGETS Schedule NAMESPACE Schedule INCLUDEDIR Schedule COMPONENT schedule
        HEADERS ${PROJECT_SOURCE_DIR}/progress/Schedule.h ${PROJECT_BINARY_DIR}/progress/schedule_export.h
        DEPENDENCIES ${qt_dependency} TessalHosting)
endif()

# Programs.
foreach(program tessal ctlhost)
    if(TARGET ${program})
        set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${tessal_bin_to_lib}")
        set(component tessal)
        if(program STREQUAL "ctlhost")
            set(component tools)
        endif()
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
    endif()
endforeach()
install(TARGETS EXTRACT RUNTIME DESTINATION ${TESSAL_LIBEXECDIR} COMPONENT tessal)
install(FILES ${PROJECT_SOURCE_DIR}/joiner/tessal.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    COMPONENT tessal)
install(FILES ${PROJECT_SOURCE_DIR}/joiner/tessal.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    COMPONENT tessal)

# Debian packages: tessal, and each library with its -dev package.
set(TESSAL_PACKAGE_MAINTAINER "Tolvar <tolvar@zudl.org>" CACHE STRING
    "Maintainer field of the Debian packages and their changelog")
set(CPACK_PACKAGE_NAME tessal-suite)
set(CPACK_PACKAGE_VENDOR "Tessal")
set(CPACK_PACKAGE_CONTACT "${TESSAL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tessal hosting hosting-dev zudownload zudownload-dev schedule schedule-dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/platform)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# CPack writes postinst and postrm scripts that call ldconfig into every
# library package; Debian wants the ldconfig trigger instead (no scripts, so
# a removed package leaves nothing behind). The script trades one for the other.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/LdconfigTrigger.cmake)

# Every package carries the copyright and the changelog; the changelog and
# the manual page are compressed as Debian's tools do it.
set(packaging ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${packaging}/changelog @ONLY)
add_custom_command(OUTPUT ${packaging}/changelog.gz ${packaging}/tessal.1.gz
    COMMAND gzip -9n -c ${packaging}/changelog > ${packaging}/changelog.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/joiner/tessal.1 > ${packaging}/tessal.1.gz
    DEPENDS ${packaging}/changelog ${PROJECT_SOURCE_DIR}/joiner/tessal.1 VERBATIM)
add_custom_target(packaging_docs ALL DEPENDS ${packaging}/changelog.gz ${packaging}/tessal.1.gz)
install(FILES ${packaging}/tessal.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tessal)

set(CPACK_DEBIAN_TESSAL_PACKAGE_NAME tessal)
set(CPACK_DEBIAN_TESSAL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TESSAL_DESCRIPTION "joins the numbered pieces of a file
A window and a command line (tessal --join) that rebuild one file from the
pieces named by a .kvs stencil, and EXTRACT, which unpacks a joined cabinet.")
set(CPACK_DEBIAN_HOSTING_PACKAGE_NAME libtessalhosting1)
set(CPACK_DEBIAN_HOSTING_DESCRIPTION "hosting base of the Tessal controls
What a host program and the control libraries it loads share: the control
base, property bag, pictures, errors, and the modal and shell hooks.")
set(CPACK_DEBIAN_HOSTING-DEV_PACKAGE_NAME libtessalhosting-dev)
set(CPACK_DEBIAN_HOSTING-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_HOSTING-DEV_PACKAGE_DEPENDS "qt6-base-dev")
set(CPACK_DEBIAN_HOSTING-DEV_DESCRIPTION "hosting base of the Tessal controls (development files)
Headers and CMake package TessalHosting.")
set(CPACK_COMPONENT_HOSTING-DEV_DEPENDS hosting)
set(CPACK_DEBIAN_ZUDOWNLOAD_PACKAGE_NAME libzudownload1)
set(CPACK_DEBIAN_ZUDOWNLOAD_DESCRIPTION "embeddable HTTP and FTP download controls
The Qt widgets ZuHTTPdownload and ZuFTPDownLoad.")
set(CPACK_COMPONENT_ZUDOWNLOAD_DEPENDS hosting)
set(CPACK_DEBIAN_ZUDOWNLOAD-DEV_PACKAGE_NAME libzudownload-dev)
set(CPACK_DEBIAN_ZUDOWNLOAD-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_ZUDOWNLOAD-DEV_PACKAGE_DEPENDS "qt6-base-dev")
set(CPACK_DEBIAN_ZUDOWNLOAD-DEV_DESCRIPTION "embeddable HTTP and FTP download controls (development files)
Headers and CMake package zudownload.")
set(CPACK_COMPONENT_ZUDOWNLOAD-DEV_DEPENDS zudownload hosting-dev)
set(CPACK_DEBIAN_SCHEDULE_PACKAGE_NAME libschedule1)
set(CPACK_DEBIAN_SCHEDULE_DESCRIPTION "embeddable progress bar control
The Qt widget Schedule.")
set(CPACK_COMPONENT_SCHEDULE_DEPENDS hosting)
set(CPACK_DEBIAN_SCHEDULE-DEV_PACKAGE_NAME libschedule-dev)
set(CPACK_DEBIAN_SCHEDULE-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_SCHEDULE-DEV_PACKAGE_DEPENDS "qt6-base-dev")
set(CPACK_DEBIAN_SCHEDULE-DEV_DESCRIPTION "embeddable progress bar control (development files)
Headers and CMake package Schedule.")
set(CPACK_COMPONENT_SCHEDULE-DEV_DEPENDS schedule hosting-dev)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} upper)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${packaging}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
endforeach()
include(CPack)
