# What `cmake --install` puts into the prefix, by component (the Debian packages of
# cmake/CorvanePackage.cmake are cut along them):
#   Runtime      lib/libcorvane.so.1*       the library with its soname link
#   Development  the rest of what a program built against Corvane needs:
#                lib/libcorvane.so          the link name
#                include/corvane/corvane.h, corvane.hpp, live_table.hpp and
#                    market_watch_record.hpp, which corvane.hpp includes
#                lib/cmake/Corvane/         find_package(Corvane) -> Corvane::corvane
#                lib/pkgconfig/corvane.pc   pkg-config --cflags --libs corvane
#   Python       lib/python3/dist-packages/corvane/   the Python module (import corvane)
#   Tools        bin/corvane-feed, bin/corvane-publish and their manual pages
#   Extension    lib/libreoffice/share/extensions/corvane-live/   the live formulas,
#                    unpacked where the office looks for bundled extensions
# (lib stands for the platform's library folder, CMAKE_INSTALL_LIBDIR: on Debian the
# multiarch one, as under /usr.) Every path in the installed files is relative, so the
# tree can be moved as a whole.

if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
    set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH
        "Object code libraries (lib)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CORVANE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Corvane")
set(CORVANE_PKGCONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
# Debian's interpreters look here under /usr and /usr/local.
set(CORVANE_PYTHON_DIR "lib/python3/dist-packages" CACHE STRING
    "Folder under the prefix for the Python module")

# The UNO runtime libraries are found where the office keeps them. Debian links them
# into the system's library folder too, but from there cppuhelper's $ORIGIN no longer
# finds the office's private libraries it needs (libreglo.so): the search path stays.
set_target_properties(corvane PROPERTIES INSTALL_RPATH "${CORVANE_OFFICE_PROGRAM_DIR}")
install(TARGETS corvane EXPORT CorvaneTargets
    LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT Runtime
        NAMELINK_COMPONENT Development
    INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(FILES include/corvane/corvane.h include/corvane/corvane.hpp include/corvane/live_table.hpp
    include/corvane/market_watch_record.hpp DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/corvane"
    COMPONENT Development)

install(EXPORT CorvaneTargets NAMESPACE Corvane:: DESTINATION "${CORVANE_CMAKE_DIR}"
    COMPONENT Development)
configure_package_config_file(cmake/CorvaneConfig.cmake.in
    "${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfig.cmake"
    INSTALL_DESTINATION "${CORVANE_CMAKE_DIR}")
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfig.cmake"
    "${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfigVersion.cmake"
    DESTINATION "${CORVANE_CMAKE_DIR}" COMPONENT Development)

# The .pc file finds the prefix from its own folder.
file(RELATIVE_PATH CORVANE_PKGCONFIG_TO_PREFIX "/prefix/${CORVANE_PKGCONFIG_DIR}" "/prefix")
configure_file(cmake/corvane.pc.in "${CMAKE_CURRENT_BINARY_DIR}/corvane.pc" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/corvane.pc" DESTINATION "${CORVANE_PKGCONFIG_DIR}"
    COMPONENT Development)

# The Python module, told where the library lies relative to it.
file(RELATIVE_PATH CORVANE_PYTHON_TO_LIBDIR "/prefix/${CORVANE_PYTHON_DIR}/corvane"
    "/prefix/${CMAKE_INSTALL_LIBDIR}")
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/python/_location.py"
    "# Written at build time: the library's folder, relative to this package.\n"
    "LIBRARY_DIR = \"${CORVANE_PYTHON_TO_LIBDIR}\"\n")
install(FILES python/corvane/__init__.py "${CMAKE_CURRENT_BINARY_DIR}/python/_location.py"
    DESTINATION "${CORVANE_PYTHON_DIR}/corvane" COMPONENT Python)

# corvane-feed may be defined after this file is read: decide at the end of the
# top-level folder.
function(corvane_install_feed)
    foreach(tool corvane-feed corvane-publish)
        if(TARGET ${tool})
            # Finds the library of its own prefix, wherever the tree was installed.
            file(RELATIVE_PATH to_libdir "/prefix/${CMAKE_INSTALL_BINDIR}"
                "/prefix/${CMAKE_INSTALL_LIBDIR}")
            set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_libdir}")
            install(TARGETS ${tool} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
                COMPONENT Tools)
            corvane_manual_page(${tool})
        endif()
    endforeach()
endfunction()

# A tool's manual page, written by help2man from the tool's own --help, so that it
# never drifts from the options. Without help2man the tool is installed without one.
find_program(CORVANE_HELP2MAN help2man)
set(corvane_tool_summary_corvane-feed "mirror a market watch into a live Calc workbook")
set(corvane_tool_summary_corvane-publish "publish a market watch to a NATS server")
function(corvane_manual_page tool)
    if(NOT CORVANE_HELP2MAN)
        message(STATUS "help2man not found: ${tool} is installed without a manual page")
        return()
    endif()
    set(page "${CMAKE_BINARY_DIR}/man/${tool}.1")
    add_custom_command(OUTPUT "${page}.gz"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/man"
        COMMAND "${CORVANE_HELP2MAN}" --no-info --version-string=${PROJECT_VERSION}
                "--name=${corvane_tool_summary_${tool}}" --output=${page} $<TARGET_FILE:${tool}>
        COMMAND gzip -9nf "${page}"
        DEPENDS ${tool}
        COMMENT "Writing the manual page of ${tool}"
        VERBATIM)
    add_custom_target(${tool}-manual ALL DEPENDS "${page}.gz")
    install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT Tools)
endfunction()
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL corvane_install_feed)
